#include "store/dbf/memo.h"

#include <algorithm>
#include <limits>

#include "store/dbf/dbf_error.h"
#include "util/bytes.h"
#include "util/file_writer.h"
#include "util/text.h"

namespace zafirel::dbf {

namespace {

constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kMarkSize = 8;
const char kMark[] = "\xFF\xFF\x08\x00";
const char kBadMemo[] =
    "El archivo de memos est\xE1 da\xF1"
    "ado";

}  // namespace

void MemoFile::Create(const std::filesystem::path& path, std::string_view tableStem) {
  std::string header(kHeaderSize, '\0');
  bytes::PutU32(header.data(), 1);  // next free block
  std::string name = UpperAZ(tableStem.substr(0, 8));
  header.replace(8, name.size(), name);
  // Byte 16 must not be 3, or readers take the file for a dBase III memo.
  header[18] = 0x02;
  header[19] = 0x01;
  bytes::PutU16(header.data() + 20, kMemoBlockSize);
  if (!WriteFileAtomically(path, header))
    throw DbfError("No se puede crear el archivo de memos", path, errno);
}

void MemoFile::Open(const std::filesystem::path& path, bool dBase3Table) {
  Open(RawFile::Open(path), dBase3Table);
}

void MemoFile::Open(RawFile file, bool dBase3Table) {
  const std::filesystem::path path = file.Path();
  if (file.Size() < kHeaderSize) throw DbfError(kBadMemo, path);
  std::string header = file.ReadString(0, kHeaderSize);
  // dBase III writes 3 at byte 16 (or nothing at all past the next free
  // block, beside a dBase III table); its blocks are always 512 bytes.
  dBase3_ =
      header[16] == 0x03 || (dBase3Table && header.find_first_not_of('\0', 4) == std::string::npos);
  if (dBase3_) {
    blockSize_ = kMemoBlockSize;
    file_ = std::move(file);
    return;
  }
  std::uint16_t blockSize = bytes::GetU16(header.data() + 20);
  // Zero is what older writers leave there; they all meant 512.
  if (blockSize == 0) blockSize = kMemoBlockSize;
  if (blockSize < 64 || blockSize % 64 != 0) throw DbfError(kBadMemo, path);
  blockSize_ = blockSize;
  file_ = std::move(file);
}

// A dBase III memo has no mark and no length: its text runs to the first
// 0x1A (written twice) or to the end of the file.
std::string MemoFile::ReadDBase3(std::uint32_t block) const {
  const std::uint64_t start = std::uint64_t{block} * blockSize_;
  const std::uint64_t size = file_.Size();
  if (block == 0 || start >= size) throw DbfError(kBadMemo, Path());
  std::string text;
  for (std::uint64_t at = start; at < size; at += blockSize_) {
    const std::string piece = file_.ReadString(
        at, static_cast<std::size_t>(std::min<std::uint64_t>(blockSize_, size - at)));
    const std::size_t end = piece.find('\x1A');
    text.append(piece, 0, end);
    if (end != std::string::npos) break;
  }
  return text;
}

std::string MemoFile::Read(std::uint32_t block) const {
  if (dBase3_) return ReadDBase3(block);
  std::uint64_t start = std::uint64_t{block} * blockSize_;
  std::uint64_t size = file_.Size();
  if (block == 0 || start + kMarkSize > size) throw DbfError(kBadMemo, Path());
  std::string head = file_.ReadString(start, kMarkSize);
  std::uint32_t length = bytes::GetU32(head.data() + 4);
  if (head.compare(0, 4, kMark, 4) != 0 || length < kMarkSize || start + length > size)
    throw DbfError(kBadMemo, Path());
  return file_.ReadString(start + kMarkSize, length - kMarkSize);
}

std::uint32_t MemoFile::BlocksFor(std::uint64_t lengthWithMark) const {
  return static_cast<std::uint32_t>((lengthWithMark + blockSize_ - 1) / blockSize_);
}

// How many blocks the memo at block takes; 0 when there is no sound memo
// there, so that a damaged one is never written over in place.
std::uint32_t MemoFile::BlocksOfExisting(std::uint32_t block) const {
  std::uint64_t start = std::uint64_t{block} * blockSize_;
  if (block == 0 || start + kMarkSize > file_.Size()) return 0;
  std::string head = file_.ReadString(start, kMarkSize);
  if (head.compare(0, 4, kMark, 4) != 0) return 0;
  std::uint32_t length = bytes::GetU32(head.data() + 4);
  return length < kMarkSize ? 0 : BlocksFor(length);
}

// The first block past the file's end. The header's own "next free block"
// is not trusted: a damaged one would make new memos overwrite old ones.
std::uint32_t MemoFile::EndBlock() const {
  std::uint64_t blocks = (file_.Size() + blockSize_ - 1) / blockSize_;
  if (blocks >= std::numeric_limits<std::uint32_t>::max()) throw DbfError(kBadMemo, Path());
  return blocks == 0 ? 1 : static_cast<std::uint32_t>(blocks);
}

std::uint32_t MemoFile::Write(std::string_view data, std::uint32_t oldBlock) {
  if (dBase3_) throw DbfError("El archivo de memos es de dBase III: solo se puede leer", Path());
  if (data.size() > std::numeric_limits<std::uint32_t>::max() - kMarkSize)
    throw DbfError("El memo es demasiado largo", Path());
  std::uint32_t length = static_cast<std::uint32_t>(data.size() + kMarkSize);
  std::uint32_t blocks = BlocksFor(length);
  bool reuse = oldBlock != 0 && blocks <= BlocksOfExisting(oldBlock);
  std::uint32_t block = reuse ? oldBlock : EndBlock();

  std::string bytes(std::size_t{blocks} * blockSize_, '\0');
  bytes.replace(0, 4, kMark, 4);
  bytes::PutU32(bytes.data() + 4, length);
  bytes.replace(kMarkSize, data.size(), data);
  file_.WriteAt(std::uint64_t{block} * blockSize_, bytes);
  if (!reuse) {
    std::string next(4, '\0');
    bytes::PutU32(next.data(), block + blocks);
    file_.WriteAt(0, next);
  }
  return block;
}

}  // namespace zafirel::dbf
