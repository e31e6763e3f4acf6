#include "app/ui/WindowQuestions.h"

#include <QFile>
#include <QMessageBox>

#include "app/ui/Unsaved.h"
#include "app/ui/WorkWnd.h"

namespace {

// The workspace's texts are the file system's bytes.
QString Text(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }

TAnswer YesNo(int button) { return button == QMessageBox::Yes ? TAnswer::Yes : TAnswer::No; }

}  // namespace

std::string TWindowQuestions::AskSaveFile() { return form_.AskSaveFile(); }

TAnswer TWindowQuestions::AskSaveChanges(const std::string& text) {
  const int button = form_.AskSaveChanges(Text(text));
  return button == QMessageBox::Yes ? TAnswer::Yes : button == QMessageBox::No ? TAnswer::No : TAnswer::Cancel;
}

TAnswer TWindowQuestions::AskUnsaved(const std::vector<std::string>& fileNames) {
  const int result = form_.AskUnsaved(fileNames);
  return result == TUnsavedForm::mrYes ? TAnswer::Yes : result == TUnsavedForm::mrNo ? TAnswer::No : TAnswer::Cancel;
}

TAnswer TWindowQuestions::AskRecover(const std::string& text) { return YesNo(form_.AskRecover(Text(text))); }

TAnswer TWindowQuestions::AskOverwrite(const std::string& text) { return YesNo(form_.AskOverwrite(Text(text))); }

TAnswer TWindowQuestions::AskReload(const std::string& text, bool recovered) {
  return YesNo(recovered ? form_.AskReloadRecovered(Text(text)) : form_.AskReload(Text(text)));
}

void TWindowQuestions::ReportError(const std::string& message) {
  if (form_.ReportError) form_.ReportError(message);
}
