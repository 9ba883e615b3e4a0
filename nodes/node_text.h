#pragma once

// How the node store keeps texts: packed one after another into large
// blocks, one byte per character whenever every character fits in Latin-1,
// and the rare other texts as UTF-16, because a QString per name costs too
// much over a million names (docs/performance.md, "Why the code is shaped so").

#include <QLatin1StringView>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace corvane {

// What the bytes of an 8-bit text are: all ASCII, and all printable ASCII
// (0x20 to 0x7E). Eight bytes at a time: every name read is classified.
struct ByteClass {
  bool ascii;
  bool printableAscii;
};
ByteClass ClassifyBytes(std::string_view bytes);

// A text as the store keeps it, or any text to compare with one. A stored
// text is Latin-1 whenever every character fits; equality and hashing go by
// the characters, so a UTF-16 view finds an equal Latin-1 text. Like any
// view it is valid only as long as what it points at: a stored text until
// the store changes.
class NodeTextView {
 public:
  enum class Kind : std::uint8_t {
    kPrintableAscii,  // Latin-1 whose every byte is in 0x20..0x7E
    kLatin1,
    kUtf16,
  };

  NodeTextView() = default;
  explicit NodeTextView(QLatin1StringView latin1);
  // For a caller that has already looked at every byte.
  NodeTextView(QLatin1StringView latin1, bool printableAscii);
  explicit NodeTextView(QStringView text);

  Kind GetKind() const { return kind_; }
  bool IsLatin1() const { return kind_ != Kind::kUtf16; }
  bool IsPrintableAscii() const { return kind_ == Kind::kPrintableAscii; }
  qsizetype size() const { return static_cast<qsizetype>(size_); }
  bool empty() const { return size_ == 0; }

  // Only for a Latin-1 text.
  std::string_view Latin1Bytes() const { return {static_cast<const char*>(data_), size_}; }
  QLatin1StringView Latin1() const { return QLatin1StringView(static_cast<const char*>(data_), size()); }
  // Only for a UTF-16 text.
  QStringView Utf16() const { return QStringView(static_cast<const char16_t*>(data_), size()); }

  QString ToString() const { return IsLatin1() ? QString(Latin1()) : Utf16().toString(); }
  // Equal texts hash alike, whichever their representation.
  std::size_t Hash() const;
  // Negative, 0 or positive, ignoring case as QString does.
  int CompareCaseInsensitive(NodeTextView other) const;
  // Negative, 0 or positive, by the characters' codes: the order in which
  // equal texts, whichever their representation, are neighbours.
  int CompareCharacters(NodeTextView other) const;

  friend bool operator==(NodeTextView a, NodeTextView b);

 private:
  friend class NodeTextStore;
  NodeTextView(const void* data, std::uint32_t size, Kind kind) : data_(data), size_(size), kind_(kind) {}

  const void* data_ = nullptr;
  std::uint32_t size_ = 0;
  Kind kind_ = Kind::kPrintableAscii;
};

// Owns the bytes of the texts it stores. Texts given up stay in their block
// until the store is compacted or reset; the owner compacts when
// WorthCompacting says so, copying every live text into a fresh store.
class NodeTextStore {
 public:
  NodeTextStore() = default;
  NodeTextStore(NodeTextStore&&) noexcept = default;
  NodeTextStore& operator=(NodeTextStore&&) noexcept = default;

  // Texts of 4 GiB and more are cut short: no mapped file names one.
  NodeTextView Store(QLatin1StringView latin1);
  NodeTextView Store(QStringView text);
  // Any view: a UTF-16 one is narrowed to Latin-1 when every character fits.
  NodeTextView Store(NodeTextView text);
  // A stored text, as it is.
  NodeTextView Copy(NodeTextView text);
  // `text` is no longer used by anyone.
  void GiveUp(NodeTextView text);

  bool WorthCompacting() const;
  void Reset();

 private:
  void* Allocate(std::size_t bytes, std::size_t alignment);

  static constexpr std::size_t kBlockSize = 64 * 1024;
  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* next_ = nullptr;
  std::size_t left_ = 0;
  std::size_t liveBytes_ = 0;
  std::size_t wastedBytes_ = 0;
};

// A name out of the file as a node text. Names in PE files are almost always
// ASCII, which every 8-bit encoding shares with Latin-1: those go into the
// tree as they are, and only the others are decoded. Each byte is looked at
// once, here.
class EightBitText {
 public:
  explicit EightBitText(std::string_view bytes) : EightBitText(bytes, ClassifyBytes(bytes)) {}
  EightBitText(std::string_view bytes, ByteClass byteClass) {
    if (byteClass.ascii) {
      const QLatin1StringView latin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
      view_ = NodeTextView(latin1, byteClass.printableAscii);
    } else {
      decoded_ = QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
      view_ = NodeTextView(QStringView(decoded_));
    }
  }
  EightBitText(const EightBitText&) = delete;
  EightBitText& operator=(const EightBitText&) = delete;

  NodeTextView View() const { return view_; }

 private:
  QString decoded_;  // what view_ shows, for a name that is not ASCII
  NodeTextView view_;
};

// Node text from an 8-bit name of the file.
QString TextFrom8Bit(std::string_view text);

}  // namespace corvane
