// The key table and the key entry points.

#include <gtest/gtest.h>

#include "editor/AEKeys.h"
#include "tests/support/EditorFixture.h"

namespace {

using namespace shift;

struct Binding {
  std::uint16_t key;
  TShiftState shift;
  std::uint16_t command;
};

// The default table, in order.
const Binding kExpected[] = {
    {vk::Left, None, 257},         {vk::Right, None, 259},       {vk::Up, None, 258},
    {vk::Down, None, 260},         {vk::Left, Shift, 265},       {vk::Right, Shift, 267},
    {vk::Up, Shift, 266},          {vk::Down, Shift, 268},       {vk::Home, None, 280},
    {vk::Home, Shift, 284},        {vk::Home, 5, 286},           {vk::End, None, 281},
    {vk::End, Shift, 285},         {vk::End, 5, 287},            {vk::Left, Ctrl, 269},
    {vk::Right, Ctrl, 270},        {vk::Left, 5, 271},           {vk::Right, 5, 272},
    {vk::Prior, Ctrl, 282},        {vk::Next, Ctrl, 283},        {vk::Home, Ctrl, 282},
    {vk::End, Ctrl, 283},          {vk::Prior, None, 276},       {vk::Next, None, 277},
    {vk::Prior, Shift, 278},       {vk::Next, Shift, 279},       {vk::Up, Ctrl, 289},
    {vk::Down, Ctrl, 290},         {vk::Insert, None, 360},      {vk::Return, None, 357},
    {vk::Back, None, 358},         {vk::Back, Ctrl, 472},        {vk::Delete, None, 359},
    {vk::Tab, None, 361},          {vk::Delete, Ctrl, 369},      {vk::Insert, Ctrl, 368},
    {vk::Delete, Shift, 369},      {vk::Insert, Shift, 370},     {'C', Ctrl, 368},
    {'X', Ctrl, 369},              {'V', Ctrl, 370},             {'Z', Ctrl, 376},
    {vk::Back, Alt, 376},          {'T', Ctrl, 372},             {'N', Ctrl, 357},
    {'Y', Ctrl, 371},
};

TEST(KeyTable, DefaultsInOrder) {
  TKeyboard keys;
  keys.LoadDefaults();
  ASSERT_EQ(keys.Keys().size(), std::size(kExpected));
  for (std::size_t i = 0; i < std::size(kExpected); ++i) {
    const TEditKey& k = keys.Keys()[i];
    EXPECT_EQ(k.Key1, kExpected[i].key) << i;
    EXPECT_EQ(k.Shift1, kExpected[i].shift) << i;
    EXPECT_EQ(k.Command, kExpected[i].command) << i;
    EXPECT_EQ(k.Key2, 0) << i;
    EXPECT_EQ(keys.FindKey(kExpected[i].key, kExpected[i].shift), kExpected[i].command) << i;
  }
  EXPECT_EQ(keys.FindKey(vk::Tab, Shift), 0) << "Shift+Tab is not bound";
}

TEST(KeyTable, TheFirstBindingWinsAndChordsNeedTheSecondStroke) {
  TKeyboard keys;
  keys.LoadDefaults();
  keys.AddKey(999, vk::Left, None);
  EXPECT_EQ(keys.FindKey(vk::Left, None), cmdCaretLeft) << "a binding added later is never found";
  keys.AddChord(500, 'K', Ctrl, 'B', Ctrl);
  EXPECT_EQ(keys.FindKey('K', Ctrl), kChordPending);
  EXPECT_EQ(keys.FindChord('K', Ctrl, 'B', Ctrl), 500);
  EXPECT_EQ(keys.FindChord('K', Ctrl, 'B', None), 0);
  keys.Clear();
  EXPECT_EQ(keys.FindKey(vk::Left, None), 0);
}

class Keys : public EditorTest {};

TEST_F(Keys, BoundKeysSwallowTheirCharacter) {
  SetText("ab");
  Caret(1, 0);
  Press(vk::Return);
  EXPECT_EQ(Text(), (std::vector<std::string>{"a", "b"})) << "one break, no CR typed";
  std::uint16_t key = 'N';
  editor.KeyDown(key, Ctrl);
  editor.KeyPress('\x0e');
  EXPECT_EQ(Text(), (std::vector<std::string>{"a", "", "b"})) << "Ctrl+N breaks like Enter";
  EXPECT_EQ(key, 0) << "a bound key is consumed";
}

TEST_F(Keys, ShiftTabTypesNothingAndUnboundControlCharactersInsertNothing) {
  SetText("ab");
  Press(vk::Tab, Shift);
  std::uint16_t key = 'Q';
  editor.KeyDown(key, Ctrl);
  editor.KeyPress('\x11');
  EXPECT_EQ(Text(), (std::vector<std::string>{"ab"}));
  EXPECT_EQ(CaretPos(), (platform::Point{0, 0}));
}

TEST_F(Keys, TabMovesTheFocusWhenTheEditorDoesNotWantIt) {
  SetText("ab");
  editor.WantTabs = false;
  Press(vk::Tab, Shift);
  Press(vk::Tab);
  EXPECT_EQ(window.focusMoves, (std::vector<bool>{true, false}));
  EXPECT_EQ(Text(), (std::vector<std::string>{"ab"}));
}

TEST_F(Keys, ATwoStrokeBindingRunsOnItsSecondKey) {
  SetText("abc");
  editor.Keyboard->AddChord(cmdLineEnd, 'K', Ctrl, 'E', None);
  std::uint16_t key = 'K';
  editor.KeyDown(key, Ctrl);
  EXPECT_TRUE(editor.ChordPending());
  editor.KeyPress('\x0b');
  key = 'E';
  editor.KeyDown(key, None);
  editor.KeyPress('e');
  EXPECT_EQ(CaretPos(), (platform::Point{3, 0}));
  EXPECT_EQ(Text(), (std::vector<std::string>{"abc"})) << "the second stroke types nothing";
}

TEST_F(Keys, ReadOnlyKeyPressTypesNothing) {
  SetText("ab");
  editor.ReadOnly = true;
  Type("xyz");
  EXPECT_EQ(Text(), (std::vector<std::string>{"ab"}));
}

}  // namespace
