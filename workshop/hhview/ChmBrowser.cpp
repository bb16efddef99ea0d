#include "workshop/hhview/ChmBrowser.h"

#include <QDesktopServices>
#include <QRegularExpression>

#include "workshop/common/ChmArchive.h"

namespace corvina::workshop {
namespace {

// A page, picture or style sheet larger than this is not shown: no real help file needs it,
// and a damaged or hostile one must not take the memory.
constexpr size_t kMaxShownBytes = 64u << 20;

}  // namespace

ChmBrowser::ChmBrowser(const ChmArchive& archive, QWidget* parent)
    : QTextBrowser(parent), archive_(&archive) {
  setOpenLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
    if (link.scheme() == "chm" || link.isRelative()) {
      setSource(link.isRelative() ? source().resolved(link) : link);
    } else if (link.scheme().startsWith("ms-its", Qt::CaseInsensitive) ||
               link.scheme().startsWith("mk", Qt::CaseInsensitive)) {
      const QString text = link.toString();
      const qsizetype separator = text.indexOf("::");
      if (separator >= 0) setSource(AddressOf(text.mid(separator + 2)));
    } else {
      QDesktopServices::openUrl(link);
    }
  });
}

QUrl ChmBrowser::AddressOf(const QString& reference) {
  QString path = reference;
  QString fragment;
  if (const qsizetype hash = path.indexOf('#'); hash >= 0) {
    fragment = path.mid(hash + 1);
    path.truncate(hash);
  }
  path.replace('\\', '/');
  if (!path.startsWith('/')) path.prepend('/');
  QUrl url;
  url.setScheme("chm");
  url.setPath(path);
  if (!fragment.isEmpty()) url.setFragment(fragment);
  return url;
}

QByteArray ChmBrowser::FileBytes(const QString& path) const {
  const std::string wanted = path.toStdString();
  Result<std::string> bytes = archive_->ReadFile(wanted, kMaxShownBytes);
  if (!bytes.ok()) {
    for (const ChmEntry& entry : archive_->entries()) {
      if (QString::fromStdString(entry.name).compare(path, Qt::CaseInsensitive) == 0) {
        bytes = archive_->ReadFile(entry.name, kMaxShownBytes);
        break;
      }
    }
  }
  if (!bytes.ok()) return {};
  return QByteArray::fromStdString(*bytes);
}

void ChmBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
  loading_ = name.isRelative() ? source().resolved(name) : name;
  QTextBrowser::doSetSource(loading_, type);
}

QVariant ChmBrowser::loadResource(int type, const QUrl& name) {
  QUrl url = name;
  if (url.isRelative()) url = (loading_.isEmpty() ? source() : loading_).resolved(url);
  if (url.scheme() != "chm") return QTextBrowser::loadResource(type, name);
  QByteArray bytes = FileBytes(url.path());
  if (bytes.isEmpty() && type == QTextDocument::HtmlResource) {
    return QString(
               "<html><body><h3>Page not found</h3><p>%1 is not in this help file.</p>"
               "</body></html>")
        .arg(url.path().toHtmlEscaped());
  }
  return bytes;
}

}  // namespace corvina::workshop
