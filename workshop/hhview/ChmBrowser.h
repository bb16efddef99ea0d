#pragma once

#include <QTextBrowser>

namespace corvina::workshop {

class ChmArchive;

// A page view over a compiled help file: "chm:///path" addresses name files inside it, so
// pages, images and style sheets come from the archive, and relative links resolve as on
// disk. Links into the file in the Windows forms ("ms-its:FILE::/page.htm",
// "mk:@MSITStore:FILE::/page.htm") open the page here; web and mail links go to the desktop.
class ChmBrowser : public QTextBrowser {
 public:
  ChmBrowser(const ChmArchive& archive, QWidget* parent);

  // The chm: address of a reference found in the file ("page.htm#a", "/dir/p.htm").
  static QUrl AddressOf(const QString& reference);
  QVariant loadResource(int type, const QUrl& name) override;

  // The bytes of a file named by its path in the archive ("/a/b.htm"), matched exactly, else
  // ignoring case; empty when there is none or it is too large to show.
  QByteArray FileBytes(const QString& path) const;

 protected:
  void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

 private:
  QByteArray WithStyleSheets(const QByteArray& html, const QUrl& page) const;

  const ChmArchive* archive_;
  // The page being loaded: its style sheets and pictures are named relative to it.
  QUrl loading_;
};

}  // namespace corvina::workshop
