// The desktop entry offers the program for the MIME type of every file
// extension the program colours, and for plain text, and for nothing else.

#include <gtest/gtest.h>

#include <QMimeDatabase>
#include <set>

#include "highlight/source_editor.h"
#include "qt/DesktopAssociations.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

namespace {

std::set<std::string> EntryMimeTypes() {
  std::string types;
  EXPECT_TRUE(platform::ReadKey(ReadBytes(QUORVEL_DESKTOP_ENTRY), "Desktop Entry", "MimeType", types));
  std::set<std::string> listed;
  for (QString type : QString::fromStdString(types).split(';', Qt::SkipEmptyParts))
    listed.insert(type.toStdString());
  return listed;
}

TEST(DesktopEntry, ListsTheTypesOfEveryColouredExtensionAndPlainText) {
  TestApplication();
  TSourceEditor editor;
  auto coloured = [&](const QString& suffix) {
    return TSourceEditor::HighlighterFor("file." + suffix.toStdString(), *editor.Lines) != nullptr;
  };
  std::set<std::string> wanted{"text/plain"};
  for (const QMimeType& type : QMimeDatabase().allMimeTypes())
    for (const QString& suffix : type.suffixes())
      if (coloured(suffix)) wanted.insert(type.name().toStdString());
  EXPECT_GT(wanted.size(), 8u) << "the desktop's MIME database is missing (shared-mime-info)";
  EXPECT_EQ(EntryMimeTypes(), wanted);
}

}  // namespace
