// The unsaved-changes dialog's three answers and the about box's link.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <set>

#include "app/ui/About.h"
#include "app/Kernel.h"
#include "app/ui/Unsaved.h"
#include "tests/support/TempDir.h"

namespace {

TEST(UnsavedForm, ListsTheFileNamesAsTheTabsAndCaptionShowThem) {
  TUnsavedForm form;
  const std::string latin1 = "/home/u/caf\xE9.php";  // not UTF-8: decoded as every file name is
  form.SetFiles({"/home/u/Notes.txt",
                 "/home/u/Gr\xC3\xBC\xC3\x9F"
                 "e.php",
                 latin1});
  ASSERT_EQ(form.lbFiles()->count(), 3);
  EXPECT_EQ(form.lbFiles()->item(0)->text(), "/home/u/Notes.txt");
  EXPECT_EQ(form.lbFiles()->item(1)->text(), QString::fromUtf8("/home/u/Grüße.php"));
  EXPECT_EQ(form.lbFiles()->item(2)->text(), QFile::decodeName(QByteArray::fromStdString(latin1)));
}

TEST(UnsavedForm, EachButtonClosesWithItsResult) {
  struct {
    QPushButton* (TUnsavedForm::*Button)() const;
    const char* Caption;
    int Result;
  } cases[] = {{&TUnsavedForm::BitBtn1, "Save All and Exit", TUnsavedForm::mrYes},
               {&TUnsavedForm::BitBtn2, "Discard changes and Exit", TUnsavedForm::mrNo},
               {&TUnsavedForm::BitBtn3, "Return to editor", TUnsavedForm::mrCancel}};
  std::set<int> results;
  for (auto c : cases) {
    TUnsavedForm form;
    form.show();
    QPushButton* button = (form.*c.Button)();
    EXPECT_EQ(button->text().toStdString(), c.Caption);
    button->click();
    EXPECT_EQ(form.result(), c.Result) << c.Caption;
    EXPECT_FALSE(form.isVisible());
    results.insert(form.result());
  }
  EXPECT_EQ(results.size(), 3u);
}

TEST(UnsavedForm, ClosingByTheFrameOrEscapeReturnsToTheEditor) {
  TUnsavedForm closed;
  closed.setResult(TUnsavedForm::mrYes);
  closed.show();
  closed.close();
  EXPECT_EQ(closed.result(), TUnsavedForm::mrCancel);

  TUnsavedForm escaped;
  escaped.setResult(TUnsavedForm::mrYes);
  escaped.show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&escaped, &escape);
  EXPECT_EQ(escaped.result(), TUnsavedForm::mrCancel);
  EXPECT_FALSE(escaped.isVisible());
}

class TUrlShell : public platform::Shell {
 public:
  explicit TUrlShell(std::vector<std::string>& opened) : FOpened(opened) {}
  void OpenURL(const std::string& url) override { FOpened.push_back(url); }
  void NotifyAssociationsChanged() override {}

 private:
  std::vector<std::string>& FOpened;
};

class AboutForm : public ::testing::Test {
 protected:
  void SetUp() override {
    TAppServices services;
    services.ExeName = Dir.File("quorvel");
    services.Shell = std::make_unique<TUrlShell>(Opened);
    Kernel = std::make_unique<TApp>(std::move(services));
  }
  void Mouse(QWidget* target, QEvent::Type type, QPoint at) {
    Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
  }

  TempDir Dir;
  std::vector<std::string> Opened;
  std::unique_ptr<TApp> Kernel;
};

TEST_F(AboutForm, TheLinkShowsTheMakersAddressAndOpensIt) {
  TAboutForm form;
  TLinkLabel* link = form.Label3();
  EXPECT_EQ(link->text().toStdString(), kMakerURL);
  EXPECT_TRUE(link->font().underline());
  EXPECT_TRUE(link->font().bold());
  EXPECT_EQ(link->font().pixelSize(), 11);
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));

  Mouse(link, QEvent::MouseButtonPress, {3, 3});
  EXPECT_TRUE(Opened.empty()) << "not before the release";
  Mouse(link, QEvent::MouseButtonRelease, {3, 3});
  EXPECT_EQ(Opened, std::vector<std::string>{kMakerURL});

  // Pressed on the link and released away from it: no click.
  Mouse(link, QEvent::MouseButtonPress, {3, 3});
  Mouse(link, QEvent::MouseButtonRelease, {-20, 3});
  EXPECT_EQ(Opened.size(), 1u);
}

TEST_F(AboutForm, OkClosesTheBox) {
  TAboutForm form;
  form.show();
  form.OKButton()->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
