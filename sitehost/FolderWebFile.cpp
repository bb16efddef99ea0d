#include "sitehost/FolderWebFile.h"

#include <utility>

#include "platform/PathConventions.h"
#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "sitehost/FolderWeb.h"
#include "sitehost/PageReader.h"

namespace corvina {
namespace {}  // namespace

FolderWebFile::FolderWebFile(FolderWeb* web, std::string relative_path)
    : web_(web), relative_path_(std::move(relative_path)) {}

FolderWebFile::~FolderWebFile() = default;
FolderWebFile::FolderWebFile(FolderWebFile&&) noexcept = default;

std::string_view FolderWebFile::Name() const {
  const size_t slash = relative_path_.rfind(kPathSeparatorChar);
  return slash == std::string::npos ? std::string_view(relative_path_)
                                    : std::string_view(relative_path_).substr(slash + 1);
}

std::string_view FolderWebFile::Folder() const {
  const size_t slash = relative_path_.rfind(kPathSeparatorChar);
  return slash == std::string::npos ? std::string_view()
                                    : std::string_view(relative_path_).substr(0, slash);
}

std::string FolderWebFile::Extension() {
  const std::string_view name = Name();
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return std::string(name.substr(dot + 1));
}

std::string FolderWebFile::PathText() const {
  // Joined as text, as operator/ would join them: making a path object costs more than
  // reading a small page.
  std::string path = web_->folder().native();
  if (!path.empty() && path.back() != kPathSeparatorChar) path += kPathSeparatorChar;
  path += relative_path_;
  return path;
}

std::filesystem::path FolderWebFile::Path() const {
  return std::filesystem::path(PathText());
}

std::string FolderWebFile::Url() {
  const std::string& site = web_->url();
  if (!site.empty() && site.back() == kPathSeparatorChar) return site + relative_path_;
  return site + kPathSeparatorChar + relative_path_;
}

bool FolderWebFile::IsPage() const {
  const std::string_view name = Name();
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view extension = name.substr(dot + 1);
  for (const std::string_view page : {"htm", "html", "shtml", "xhtml", "asp", "aspx"}) {
    if (EqualsIgnoringCase(extension, page)) return true;
  }
  return false;
}

bool FolderWebFile::AdoptFacts(FolderWebFile& earlier) {
  if (!earlier.facts_) return false;
  facts_ = std::move(earlier.facts_);
  stamp_ = earlier.stamp_;
  links_released_ = earlier.links_released_;
  current_ = earlier.current_;
  return true;
}

bool FolderWebFile::NeedsRead(sitehost::PageParts parts) const {
  if (!facts_ || !current_) return true;
  if (parts != sitehost::PageParts::kAll || !facts_->ok()) return false;
  return !facts_->value().links_read || links_released_;
}

void FolderWebFile::Load(sitehost::PageParts parts, const FolderHandle* folder) {
  if (!IsPage()) {
    if (!facts_) {
      facts_ = std::make_unique<Result<sitehost::PageFacts>>(
          Error{kErrInvalidArgument, relative_path_ + " is not a page"});
    }
    current_ = true;
    return;
  }
  const bool in_folder = folder != nullptr && folder->valid();
  const std::string path = PathText();
  if (facts_ && !current_) {
    const Result<FileStamp> now =
        in_folder ? ReadFileStamp(*folder, Name(), path) : ReadFileStamp(path);
    if (!stamp_ || !now.ok() || *now != *stamp_) facts_.reset();
    current_ = true;
  }
  if (facts_ && NeedsRead(parts)) facts_.reset();
  if (facts_) return;
  FileStamp stamp;
  auto facts = std::make_unique<Result<sitehost::PageFacts>>(
      in_folder ? sitehost::ReadPage(*folder, Name(), path, parts, &stamp)
                : sitehost::ReadPage(path, parts, &stamp));
  stamp_ = facts->ok() ? std::optional<FileStamp>(stamp) : std::nullopt;
  facts_ = std::move(facts);
  links_released_ = false;
  current_ = true;
}

const Result<sitehost::PageFacts>& FolderWebFile::Facts(sitehost::PageParts parts) {
  if (NeedsRead(parts)) {
    if (IsPage()) web_->ReadPages(parts);
    Load(parts);  // a no-op once the site has read it
  }
  return *facts_;
}

std::string FolderWebFile::Title() {
  const Result<sitehost::PageFacts>& facts = Facts(sitehost::PageParts::kHead);
  if (facts.ok() && facts->title) return *facts->title;
  const std::string_view name = Name();
  return IsValidUtf8(name) ? std::string(name) : AnsiToUtf8(name);
}

Result<std::string> FolderWebFile::Property(std::string_view name) {
  if (!EqualsIgnoringCase(name, "keywords")) {
    return Error{kErrInvalidArgument,
                 "No property \"" + std::string(name) + "\" on " + relative_path_};
  }
  const Result<sitehost::PageFacts>& facts = Facts(sitehost::PageParts::kHead);
  if (!facts.ok()) return facts.error();
  if (!facts->keywords) return Error{kErrInvalidArgument, relative_path_ + " has no keywords"};
  return *facts->keywords;
}

const std::vector<std::string>& FolderWebFile::Links() {
  static const std::vector<std::string> kNone;
  const Result<sitehost::PageFacts>& facts = Facts(sitehost::PageParts::kAll);
  return facts.ok() ? facts->links : kNone;
}

void FolderWebFile::ReleaseLinks() {
  links_released_ = true;
  if (facts_ && facts_->ok()) std::vector<std::string>().swap(facts_->value().links);
}

INavigationNode* FolderWebFile::NavigationNode() {
  web_->EnsureNavigation();
  return node_;
}

}  // namespace corvina
