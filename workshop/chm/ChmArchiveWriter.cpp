#include "workshop/chm/ChmArchiveWriter.h"

#include <algorithm>
#include <unordered_set>

#include "workshop/chm/ChmBytes.h"
#include "workshop/chm/ChmOutputFile.h"
#include "workshop/chm/LzxStreamWriter.h"

namespace corvina::chm {
namespace {

// The ITSF header, header section 0 and the directory that follows them.
constexpr uint32_t kItsfHeaderSize = 0x60;
constexpr uint32_t kHeaderSection0Size = 0x18;
constexpr uint64_t kDirectoryOffset = kItsfHeaderSize + kHeaderSection0Size;
constexpr uint32_t kHeaderSection0Magic = 0x01FE;
constexpr uint32_t kResetTableHeaderSize = 0x28;

constexpr std::string_view kContentName = "::DataSpace/Storage/MSCompressed/Content";
constexpr std::string_view kResetTableName =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
    "InstanceData/ResetTable";

std::vector<uint8_t> Utf16Le(std::string_view ascii) {
  std::vector<uint8_t> out;
  for (char c : ascii)
    PutU16(out, static_cast<uint8_t>(c));
  return out;
}

std::vector<uint8_t> NameList() {
  std::vector<uint8_t> out;
  PutU16(out, 30);  // length in words
  PutU16(out, 2);
  for (std::string_view name : {"Uncompressed", "MSCompressed"}) {
    PutU16(out, static_cast<uint32_t>(name.size()));
    const std::vector<uint8_t> text = Utf16Le(name);
    out.insert(out.end(), text.begin(), text.end());
    PutU16(out, 0);
  }
  return out;
}

std::vector<uint8_t> ControlData() {
  std::vector<uint8_t> out;
  PutU32(out, 6);
  PutBytes(out, "LZXC");
  PutU32(out, 2);  // version: the next two fields count frames (32 KB units)
  PutU32(out, kLzxFramesPerReset);
  PutU32(out, kLzxWindowSize / kLzxFrameSize);
  PutU32(out, 1);
  PutU32(out, 0);
  return out;
}

std::vector<uint8_t> ResetTable(const LzxStreamWriter& stream) {
  std::vector<uint8_t> out;
  PutU32(out, 2);
  PutU32(out, static_cast<uint32_t>(stream.frame_offsets().size()));
  PutU32(out, 8);  // size of a frame offset
  PutU32(out, kResetTableHeaderSize);
  PutU64(out, stream.uncompressed_length());
  PutU64(out, stream.compressed_length());
  PutU64(out, kLzxFrameSize);
  for (uint64_t offset : stream.frame_offsets())
    PutU64(out, offset);
  return out;
}

std::string FormatName(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

}  // namespace

ChmArchiveWriter::ChmArchiveWriter(Token, std::filesystem::path output,
                                   const ChmArchiveOptions& options)
    : output_(std::move(output)), options_(options) {}

ChmArchiveWriter::~ChmArchiveWriter() = default;

Result<std::unique_ptr<ChmArchiveWriter>> ChmArchiveWriter::Create(
    const std::filesystem::path& output, const ChmArchiveOptions& options) {
  auto writer = std::make_unique<ChmArchiveWriter>(Token{}, output, options);
  Result<std::unique_ptr<ChmOutputFile>> file = ChmOutputFile::Create(output);
  if (!file.ok()) return file.error();
  writer->file_ = std::move(file).value();
  std::filesystem::path folder = output.parent_path();
  if (folder.empty()) folder = ".";
  Result<std::unique_ptr<ChmScratchFile>> content = ChmScratchFile::Create(folder);
  if (!content.ok()) return content.error();
  writer->content_ = std::move(content).value();
  ChmScratchFile* sink = writer->content_.get();
  writer->stream_ = std::make_unique<LzxStreamWriter>(
      options.threads, [sink](std::span<const uint8_t> bytes) { return sink->Write(bytes); },
      options.parse);
  return writer;
}

Status ChmArchiveWriter::CheckName(std::string_view name) {
  if (!failure_.ok()) return failure_;
  if (file_open_) return Error{kErrInvalidArgument, "a file is still being added"};
  const bool archive_name = name.starts_with("/") || name.starts_with("::");
  if (!archive_name || name.size() < 2 || name.ends_with("/") ||
      name.find('\0') != std::string_view::npos) {
    return Error{kErrInvalidArgument, "bad name for a file in a .chm: " + FormatName(name)};
  }
  if (name.size() > kChmMaxNameBytes) {
    return Error{kErrInvalidArgument, "name too long for a .chm (more than " +
                                          std::to_string(kChmMaxNameBytes) +
                                          " bytes): " + FormatName(name.substr(0, 60)) + "..."};
  }
  if (names_text_.size() + name.size() > UINT32_MAX) {
    return Error{kErrInvalidArgument, "too many file names for a .chm"};
  }
  const auto name_of = [this](uint32_t entry) { return NameOf(entry); };
  if (const uint32_t found = names_.Find(name, name_of); found != ChmNameIndex::kNone) {
    const std::string_view earlier = NameOf(found);
    return Error{kErrFileAlreadyExists,
                 earlier == name
                     ? "file listed twice: " + FormatName(name)
                     : "names differ only in letter case, which a .chm cannot tell apart: " +
                           FormatName(earlier) + " and " + FormatName(name)};
  }
  return Status::Ok();
}

bool ChmArchiveWriter::Contains(std::string_view name) const {
  return names_.Find(name, [this](uint32_t entry) { return NameOf(entry); }) != ChmNameIndex::kNone;
}

Status ChmArchiveWriter::AddCompressed(std::string_view name, std::span<const uint8_t> bytes) {
  if (Status status = BeginCompressed(name); !status.ok()) return status;
  if (Status status = AppendCompressed(bytes); !status.ok()) return status;
  return EndCompressed();
}

void ChmArchiveWriter::AddEntry(std::string_view name, uint16_t section, uint64_t offset,
                                uint64_t length) {
  added_.push_back({offset, length, static_cast<uint32_t>(names_text_.size()),
                    static_cast<uint16_t>(name.size()), section});
  names_text_ += name;
  names_.Add(static_cast<uint32_t>(added_.size() - 1),
             [this](uint32_t entry) { return NameOf(entry); });
}

Status ChmArchiveWriter::BeginCompressed(std::string_view name) {
  if (Status status = CheckName(name); !status.ok()) return status;
  AddEntry(name, 1, section1_length_, 0);
  file_open_ = true;
  return Status::Ok();
}

Status ChmArchiveWriter::AppendCompressed(std::span<const uint8_t> bytes) {
  if (!failure_.ok()) return failure_;
  if (section1_length_ + bytes.size() > kChmMaxSectionBytes) {
    failure_ = Error{kErrInvalidArgument,
                     "too much data for a .chm: " +
                         FormatName(NameOf(static_cast<uint32_t>(added_.size() - 1))) +
                         " would take the compressed section past " +
                         std::to_string(kChmMaxSectionBytes) + " bytes"};
    return failure_;
  }
  section1_length_ += bytes.size();
  added_.back().length += bytes.size();
  if (Status status = stream_->Append(bytes); !status.ok()) failure_ = status;
  return failure_;
}

Status ChmArchiveWriter::EndCompressed() {
  file_open_ = false;
  return failure_;
}

Status ChmArchiveWriter::AddStored(std::string_view name, std::span<const uint8_t> bytes) {
  if (Status status = CheckName(name); !status.ok()) return status;
  AddEntry(name, 0, 0, bytes.size());
  stored_.emplace_back(bytes.begin(), bytes.end());
  return Status::Ok();
}

Status ChmArchiveWriter::Finish() {
  if (!failure_.ok()) return failure_;
  if (file_open_) return Error{kErrInvalidArgument, "a file is still being added"};
  if (Status status = stream_->Finish(); !status.ok()) return status;

  // Section 0: the LZX stream, then the storage files, then the stored files. The stream is not
  // last because libmspack reads a few bytes beyond its end and fails at the end of the file.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> storage;
  storage.emplace_back("::DataSpace/NameList", NameList());
  storage.emplace_back("::DataSpace/Storage/MSCompressed/ControlData", ControlData());
  std::vector<uint8_t> span_info;
  PutU64(span_info, stream_->uncompressed_length());
  storage.emplace_back("::DataSpace/Storage/MSCompressed/SpanInfo", std::move(span_info));
  std::vector<uint8_t> transform = Utf16Le("{7FC28940-9D31-11D0");
  storage.emplace_back("::DataSpace/Storage/MSCompressed/Transform/List", std::move(transform));
  storage.emplace_back(std::string(kResetTableName), ResetTable(*stream_));

  // The directory's entries: the files added, the storage files, then the folders. No name is
  // looked up any more, so the compact records go as they are copied.
  std::deque<ChmDirectoryEntry> entries;
  while (!added_.empty()) {
    const Added& added = added_.front();
    entries.push_back({std::string(names_text_, added.name_at, added.name_length), added.section,
                       added.offset, added.length});
    added_.pop_front();
  }
  names_ = {};
  names_text_ = {};
  const size_t added_count = entries.size();
  entries.push_back({std::string(kContentName), 0, 0, stream_->compressed_length()});
  uint64_t offset = stream_->compressed_length();
  for (const auto& [name, bytes] : storage) {
    entries.push_back({name, 0, offset, bytes.size()});
    offset += bytes.size();
  }
  // Section 0 after the storage files: the stored files in the order added.
  for (size_t i = 0; i < added_count; ++i) {
    ChmDirectoryEntry& entry = entries[i];
    if (entry.section != 0 || entry.name.starts_with("::")) continue;
    entry.offset = offset;
    offset += entry.length;
  }
  const uint64_t section0_length = offset;

  // Folder entries: "/" and every folder that holds a name.
  std::unordered_set<std::string_view, ChmNameHash, ChmNameEqual> folders;
  const size_t count = entries.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string& name = entries[i].name;
    for (size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
      const std::string_view folder(name.data(), slash + 1);
      if (folders.contains(folder)) continue;
      entries.push_back({std::string(folder), 0, 0, 0});
      folders.insert(entries.back().name);
    }
  }
  std::vector<const ChmDirectoryEntry*> sorted;
  sorted.reserve(entries.size());
  for (const ChmDirectoryEntry& entry : entries)
    sorted.push_back(&entry);
  std::sort(sorted.begin(), sorted.end(),
            [](const auto* a, const auto* b) { return CompareChmNames(a->name, b->name) < 0; });
  const ChmDirectory directory = BuildChmDirectory(sorted, options_.lcid);
  sorted = {};

  const uint64_t directory_offset = kDirectoryOffset;
  const uint64_t section0_offset = directory_offset + directory.bytes.size();
  std::vector<uint8_t> head;
  PutBytes(head, "ITSF");
  PutU32(head, 3);
  PutU32(head, kItsfHeaderSize);
  PutU32(head, 1);
  PutU32(head, 0);  // timestamp: no reader uses it, and a fixed value keeps builds repeatable
  PutU32(head, options_.lcid);
  const uint8_t guid_tail[15] = {0xfd, 0x01, 0x7c, 0xaa, 0x7b, 0xd0, 0x11, 0x9e,
                                 0x0c, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec};
  head.push_back(0x10);
  head.insert(head.end(), guid_tail, guid_tail + 15);
  head.push_back(0x11);
  head.insert(head.end(), guid_tail, guid_tail + 15);
  PutU64(head, kItsfHeaderSize);
  PutU64(head, kHeaderSection0Size);
  PutU64(head, directory_offset);
  PutU64(head, directory.bytes.size());
  PutU64(head, section0_offset);
  // Header section 0.
  PutU32(head, kHeaderSection0Magic);
  PutU32(head, 0);
  PutU64(head, section0_offset + section0_length);
  PutU32(head, 0);
  PutU32(head, 0);

  Status status = file_->Write(head);
  if (status.ok()) status = file_->Write(directory.bytes);
  if (status.ok()) status = file_->CopyFrom(*content_);
  for (const auto& [name, bytes] : storage) {
    if (status.ok()) status = file_->Write(bytes);
  }
  for (const std::vector<uint8_t>& bytes : stored_) {
    if (status.ok()) status = file_->Write(bytes);
  }
  if (status.ok()) status = file_->Commit();
  if (!status.ok()) failure_ = status;
  return status;
}

}  // namespace corvina::chm
