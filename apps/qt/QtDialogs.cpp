#include "apps/qt/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

#include "support/mCommonDialog.h"

namespace corvina {
namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(mCommonDialog::StrZToStr(text));
}

// "*.CHM;*.chm" -> "*.CHM *.chm", each pattern also in the other case.
QString Patterns(const std::string& patterns) {
  QStringList out;
  for (const QString& pattern : QString::fromStdString(patterns).split(';', Qt::SkipEmptyParts)) {
    const QString trimmed = pattern.trimmed();
    for (const QString& form : {trimmed, trimmed.toLower(), trimmed.toUpper()}) {
      if (!out.contains(form)) out << form;
    }
  }
  return out.join(' ');
}

}  // namespace

QStringList QtDialogs::NameFilters(const std::string& filter) {
  QStringList filters;
  size_t start = 0;
  while (start < filter.size() && filter[start] != '\0') {
    const size_t description_end = filter.find('\0', start);
    if (description_end == std::string::npos) break;
    size_t pattern_end = filter.find('\0', description_end + 1);
    if (pattern_end == std::string::npos) pattern_end = filter.size();
    const std::string description = filter.substr(start, description_end - start);
    const std::string pattern =
        filter.substr(description_end + 1, pattern_end - description_end - 1);
    filters << QString::fromStdString(description) + " (" + Patterns(pattern) + ")";
    start = pattern_end + 1;
  }
  return filters;
}

FileDialogResult QtDialogs::ShowFileDialog(const FileDialogRequest& request) {
  QFileDialog dialog(QApplication::activeWindow(), Text(request.title));
  dialog.setObjectName("CorvinaFileDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (request.flags & kOfnAllowMultiSelect) {
    dialog.setFileMode(QFileDialog::ExistingFiles);
  } else if (!request.save && (request.flags & kOfnFileMustExist)) {
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setFileMode(QFileDialog::AnyFile);
  }
  const QStringList filters = NameFilters(request.filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (request.filter_index >= 1 && request.filter_index <= filters.size()) {
      dialog.selectNameFilter(filters[request.filter_index - 1]);
    }
  }
  QString suffix = Text(request.default_extension);
  while (suffix.startsWith('*') || suffix.startsWith('.'))
    suffix.remove(0, 1);
  if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
  const QString initial = Text(request.file);
  const QString folder = Text(request.initial_folder);
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (!initial.isEmpty()) {
    const QFileInfo info(initial);
    if (info.isAbsolute()) dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  }

  FileDialogResult result;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
  const QStringList chosen = dialog.selectedFiles();
  std::string file;
  std::string title;
  if (request.flags & kOfnAllowMultiSelect) {
    file = QFileInfo(chosen[0]).absolutePath().toStdString();
    file.push_back('\0');
    for (const QString& name : chosen) {
      file += QFileInfo(name).fileName().toStdString();
      file.push_back('\0');
    }
  } else {
    file = chosen[0].toStdString();
    title = QFileInfo(chosen[0]).fileName().toStdString();
  }
  file.push_back('\0');
  title.push_back('\0');
  // A choice longer than the caller's buffer is refused, as the Windows dialog refuses it.
  if (file.size() > request.file.size() || title.size() > request.file_title.size()) {
    return result;
  }
  result.chosen = true;
  result.file = std::move(file);
  result.file_title = std::move(title);
  result.flags = request.flags;
  result.filter_index = static_cast<int32_t>(filters.indexOf(dialog.selectedNameFilter()) + 1);
  if (result.filter_index <= 0) result.filter_index = request.filter_index;
  return result;
}

std::string QtDialogs::BrowseForFolder(const FolderDialogRequest& request) {
  QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title));
  dialog.setObjectName("CorvinaFolderDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles()[0].toStdString();
}

}  // namespace corvina
