#include "node_text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>


namespace corvane {
namespace {

constexpr std::size_t kMaxTextSize = std::numeric_limits<std::uint32_t>::max();

}  // namespace

ByteClass ClassifyBytes(std::string_view bytes) {
  // Per word: a byte below 0x20 shows in the borrow of subtracting 0x20 from
  // every byte, one above 0x7E in the carry of adding 1, or in its own high
  // bit. A borrow or carry crossing into the next byte can only follow a
  // byte that already failed, so the answer for the word is exact.
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  std::uint64_t seen = 0;
  std::uint64_t unprintable = 0;
  std::size_t at = 0;
  for (; at + 8 <= bytes.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + at, sizeof word);
    seen |= word;
    unprintable |= ((word - kOnes * 0x20) & ~word) | ((word + kOnes) | word);
  }
  bool printable = (unprintable & kHighBits) == 0;
  for (; at < bytes.size(); ++at) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    seen |= byte;
    printable &= byte >= 0x20 && byte <= 0x7E;
  }
  return {(seen & kHighBits) == 0, printable};
}

NodeTextView::NodeTextView(QLatin1StringView latin1)
    : data_(latin1.data()),
      size_(static_cast<std::uint32_t>(std::min(static_cast<std::size_t>(latin1.size()), kMaxTextSize))),
      kind_(ClassifyBytes(Latin1Bytes()).printableAscii ? Kind::kPrintableAscii : Kind::kLatin1) {}

NodeTextView::NodeTextView(QLatin1StringView latin1, bool printableAscii)
    : data_(latin1.data()),
      size_(static_cast<std::uint32_t>(std::min(static_cast<std::size_t>(latin1.size()), kMaxTextSize))),
      kind_(printableAscii ? Kind::kPrintableAscii : Kind::kLatin1) {}

NodeTextView::NodeTextView(QStringView text)
    : data_(text.utf16()),
      size_(static_cast<std::uint32_t>(std::min(static_cast<std::size_t>(text.size()), kMaxTextSize))),
      kind_(Kind::kUtf16) {}

std::size_t NodeTextView::Hash() const {
  std::hash<std::string_view> hash;
  if (IsLatin1()) return hash(Latin1Bytes());
  const QStringView units = Utf16();
  if (std::any_of(units.begin(), units.end(), [](QChar c) { return c.unicode() > 0xFF; })) {
    return hash(std::string_view(static_cast<const char*>(data_), size_ * 2));
  }
  // A UTF-16 text that Latin-1 could hold hashes as its Latin-1 form would.
  const QByteArray latin1 = units.toLatin1();
  return hash(std::string_view(latin1.constData(), static_cast<std::size_t>(latin1.size())));
}

bool operator==(NodeTextView a, NodeTextView b) {
  if (a.size_ != b.size_) return false;
  if (a.IsLatin1() && b.IsLatin1()) return a.size_ == 0 || std::memcmp(a.data_, b.data_, a.size_) == 0;
  if (a.IsLatin1()) return b.Utf16() == a.Latin1();
  return b.IsLatin1() ? a.Utf16() == b.Latin1() : a.Utf16() == b.Utf16();
}

int NodeTextView::CompareCaseInsensitive(NodeTextView other) const {
  constexpr auto kCase = Qt::CaseInsensitive;
  if (IsPrintableAscii() && other.IsPrintableAscii()) return Latin1().compare(other.Latin1(), kCase);
  // Qt folds case between two Latin-1 strings by Latin-1 rules alone, which
  // leave the micro sign alone where QString folds it to a Greek mu; going
  // through UTF-16 keeps the order QString gives.
  if (IsLatin1() && other.IsLatin1()) return QStringView(ToString()).compare(other.Latin1(), kCase);
  if (IsLatin1()) return -other.Utf16().compare(Latin1(), kCase);
  return other.IsLatin1() ? Utf16().compare(other.Latin1(), kCase) : Utf16().compare(other.Utf16(), kCase);
}

int NodeTextView::CompareCharacters(NodeTextView other) const {
  constexpr auto kCase = Qt::CaseSensitive;
  // A Latin-1 byte is its character's code, and string_view compares bytes unsigned.
  if (IsLatin1() && other.IsLatin1()) return Latin1Bytes().compare(other.Latin1Bytes());
  if (IsLatin1()) return -other.Utf16().compare(Latin1(), kCase);
  return other.IsLatin1() ? Utf16().compare(other.Latin1(), kCase) : Utf16().compare(other.Utf16(), kCase);
}

void* NodeTextStore::Allocate(std::size_t bytes, std::size_t alignment) {
  const std::size_t padding = reinterpret_cast<std::uintptr_t>(next_) % alignment;
  if (padding + bytes > left_) {
    if (bytes > kBlockSize / 4) {
      // A large text gets a block of its own, placed before the open block,
      // which stays last and open for the small texts that follow.
      auto own = std::make_unique_for_overwrite<std::byte[]>(bytes);
      void* start = own.get();
      blocks_.insert(blocks_.empty() ? blocks_.end() : blocks_.end() - 1, std::move(own));
      liveBytes_ += bytes;
      return start;
    }
    blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(kBlockSize));
    next_ = blocks_.back().get();
    left_ = kBlockSize;
    return Allocate(bytes, alignment);
  }
  std::byte* start = next_ + padding;
  next_ = start + bytes;
  left_ -= padding + bytes;
  liveBytes_ += bytes;
  return start;
}

NodeTextView NodeTextStore::Store(QLatin1StringView latin1) { return Copy(NodeTextView(latin1)); }

NodeTextView NodeTextStore::Store(QStringView text) {
  const std::size_t size = std::min(static_cast<std::size_t>(text.size()), kMaxTextSize);
  const char16_t* units = text.utf16();
  char16_t all = 0;
  for (std::size_t i = 0; i < size; ++i) all = static_cast<char16_t>(all | units[i]);
  if (size == 0) return NodeTextView(nullptr, 0, NodeTextView::Kind::kPrintableAscii);
  if (all > 0xFF) {
    void* target = Allocate(size * 2, alignof(char16_t));
    std::memcpy(target, units, size * 2);
    return NodeTextView(target, static_cast<std::uint32_t>(size), NodeTextView::Kind::kUtf16);
  }
  auto* target = static_cast<char*>(Allocate(size, 1));
  for (std::size_t i = 0; i < size; ++i) target[i] = static_cast<char>(units[i]);
  const auto kind = ClassifyBytes(std::string_view(target, size)).printableAscii ? NodeTextView::Kind::kPrintableAscii
                                                                                : NodeTextView::Kind::kLatin1;
  return NodeTextView(target, static_cast<std::uint32_t>(size), kind);
}

NodeTextView NodeTextStore::Store(NodeTextView text) { return text.IsLatin1() ? Copy(text) : Store(text.Utf16()); }

NodeTextView NodeTextStore::Copy(NodeTextView text) {
  if (text.empty()) return text;
  const std::size_t bytes = text.size_ * (text.IsLatin1() ? 1 : 2);
  void* target = Allocate(bytes, text.IsLatin1() ? 1 : alignof(char16_t));
  std::memcpy(target, text.data_, bytes);
  return NodeTextView(target, text.size_, text.kind_);
}

void NodeTextStore::GiveUp(NodeTextView text) {
  const std::size_t bytes = text.size_ * (text.IsLatin1() ? 1 : 2);
  liveBytes_ -= bytes;
  wastedBytes_ += bytes;
}

bool NodeTextStore::WorthCompacting() const {
  // Compacting copies every live text once; waiting until the waste is as
  // large as the live texts keeps that cost proportional to what was wasted.
  constexpr std::size_t kTolerated = 4 * kBlockSize;
  return wastedBytes_ > kTolerated && wastedBytes_ > liveBytes_;
}

void NodeTextStore::Reset() { *this = NodeTextStore(); }

QString TextFrom8Bit(std::string_view text) { return EightBitText(text).View().ToString(); }

}  // namespace corvane
