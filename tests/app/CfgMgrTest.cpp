// The configuration manager moves values between bound controls and the
// settings, by the kind of each control.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>

#include "app/ui/CfgMgr.h"
#include "app/ini_store.h"

namespace {

class CfgMgr : public ::testing::Test {
 protected:
  TIniStore Store;
  TConfigManager Manager{&Store};
};

struct TRadioGroup {
  QGroupBox Box;
  QRadioButton* Items[3];
  TRadioGroup() {
    for (auto*& item : Items) item = new QRadioButton(&Box);
  }
};

TEST_F(CfgMgr, ACheckBoxOnAnAbsentSettingLoadsUncheckedAndSavesZero) {
  QCheckBox box;
  box.setChecked(true);
  Manager.Bind(&box, "FileTypes.DefaultEditor");
  Manager.LoadControls();
  EXPECT_FALSE(box.isChecked());
  EXPECT_EQ(Store.Count(), 1) << "loading enters the name";
  Manager.SaveControls();
  EXPECT_EQ(Store.ReadString("FileTypes.DefaultEditor"), "0");
  box.setChecked(true);
  Manager.SaveControls();
  EXPECT_EQ(Store.ReadString("FileTypes.DefaultEditor"), "1");
}

TEST_F(CfgMgr, ARadioGroupOnTextThatIsNoNumberSelectsItemZero) {
  TRadioGroup group;
  group.Items[2]->setChecked(true);
  Store.WriteString("View.Mode", "wide");
  Manager.Bind(&group.Box, "View.Mode");
  Manager.LoadControls();
  EXPECT_TRUE(group.Items[0]->isChecked());
  EXPECT_FALSE(group.Items[2]->isChecked());
  group.Items[1]->setChecked(true);
  Manager.SaveControls();
  EXPECT_EQ(Store.ReadString("View.Mode"), "1");
  Store.WriteString("View.Mode", "-1");
  Manager.LoadControls();
  for (auto* item : group.Items) EXPECT_FALSE(item->isChecked());
  Manager.SaveControls();
  EXPECT_EQ(Store.ReadString("View.Mode"), "-1");
  Store.WriteString("View.Mode", "7");
  Manager.LoadControls();
  EXPECT_TRUE(group.Items[2]->isChecked()) << "an index past the end selects the last item";
}

TEST_F(CfgMgr, OneNameBoundTwiceLoadsBothAndTheLaterBindingIsStored) {
  QCheckBox first, second;
  Store.WriteBool("A.flag", true);
  Manager.Bind(&first, "A.flag");
  Manager.Bind(&second, "A.flag");
  Manager.LoadControls();
  EXPECT_TRUE(first.isChecked());
  EXPECT_TRUE(second.isChecked());
  first.setChecked(true);
  second.setChecked(false);
  Manager.SaveControls();
  EXPECT_EQ(Store.ReadString("A.flag"), "0");
}

TEST_F(CfgMgr, EachKindMovesItsValueItsOwnWay) {
  QRadioButton radio;
  TColorBox colors;
  QLineEdit line;
  QPlainTextEdit memo;
  QTextEdit rich;
  QLabel label("untouched");
  Store.WriteString("K.radio", "1");
  Store.WriteInteger("K.color", 0x123456);
  Store.WriteString("K.line", "C:\\path\\n \xe9");
  Store.WriteText("K.memo", "PHP\r\nINC\r\n");
  Store.WriteText("K.rich", "a\tb");
  Manager.Bind(&radio, "K.radio");
  Manager.Bind(&colors, "K.color");
  Manager.Bind(&line, "K.line");
  Manager.Bind(&memo, "K.memo");
  Manager.Bind(&rich, "K.rich");
  Manager.Bind(&label, "K.label");
  Manager.LoadControls();
  EXPECT_TRUE(radio.isChecked());
  EXPECT_EQ(colors.Selected(), 0x123456);
  EXPECT_EQ(line.text(), QString::fromUtf8("C:\\path\\n \xc3\xa9")) << "single-line text is raw";
  EXPECT_EQ(memo.toPlainText(), "PHP\nINC\n");
  EXPECT_EQ(rich.toPlainText(), "a\tb");
  EXPECT_EQ(label.text(), "untouched");
  EXPECT_EQ(Store.Count(), 5) << "another kind of control is left alone";

  colors.SetSelected(0x0000FF);
  memo.setPlainText("one\ntwo");
  line.setText(QString::fromUtf8("x\xc3\xa9"));
  Manager.SaveControls();
  EXPECT_EQ(Store.ReadString("K.radio"), "1");
  EXPECT_EQ(Store.ReadString("K.color"), "255");
  EXPECT_EQ(Store.ReadString("K.memo"), "one\\r\\ntwo") << "a multi-line box is stored as escaped text";
  EXPECT_EQ(Store.ReadString("K.line"), "x\xe9");
  EXPECT_EQ(Store.Count(), 5);
}

TEST_F(CfgMgr, AControlGoneBeforeLoadingIsSkipped) {
  auto* box = new QCheckBox();
  Manager.Bind(box, "A.gone");
  delete box;
  EXPECT_NO_THROW(Manager.LoadControls());
  EXPECT_NO_THROW(Manager.SaveControls());
  EXPECT_EQ(Store.Count(), 0);
}

}  // namespace
