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

// Qt's rich text reads <style> blocks but not linked style sheets: each linked sheet of the
// file is put into the page's head as a <style> block.
QByteArray ChmBrowser::WithStyleSheets(const QByteArray& html, const QUrl& page) const {
  static const QRegularExpression link("<link\\b[^>]*\\brel\\s*=\\s*[\"']?stylesheet[^>]*>",
                                       QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression href("\\bhref\\s*=\\s*[\"']([^\"']+)[\"']",
                                       QRegularExpression::CaseInsensitiveOption);
  QByteArray styles;
  const QString text = QString::fromLatin1(html);
  for (auto it = link.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch target = href.match(it.next().captured(0));
    if (!target.hasMatch()) continue;
    const QUrl sheet = page.resolved(QUrl(target.captured(1)));
    if (sheet.scheme() == "chm") styles += FileBytes(sheet.path()) + "\n";
  }
  if (styles.isEmpty()) return html;
  QByteArray out = html;
  const qsizetype head = out.toLower().indexOf("</head>");
  out.insert(head >= 0 ? head : 0, "<style>\n" + styles + "</style>\n");
  return out;
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
  if (type == QTextDocument::HtmlResource) return WithStyleSheets(bytes, url);
  return bytes;
}

}  // namespace corvina::workshop
