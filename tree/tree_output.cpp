#include "tree_output.h"

#include <cstdio>

namespace corvane {

void AppendJsonEscapedTo(std::string& out, std::string_view utf8) {
  for (const char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
}

namespace {

// Collects output and hands it to the sink in chunks of a few pages.
class ChunkedWriter {
 public:
  explicit ChunkedWriter(const OutputSink& sink) : sink_(sink) { buffer_.reserve(kChunk + 4096); }
  ChunkedWriter(const ChunkedWriter&) = delete;
  ChunkedWriter& operator=(const ChunkedWriter&) = delete;
  ~ChunkedWriter() { Flush(); }

  void Append(std::string_view text) {
    buffer_ += text;
    FlushWhenFull();
  }
  void Append(char c) {
    buffer_ += c;
    FlushWhenFull();
  }

  // Appends `text` as UTF-8. Node texts are nearly all ASCII, stored a byte
  // a character: those are copied as they stand.
  void AppendUtf8(NodeTextView text) {
    AppendUtf8To(buffer_, text);
    FlushWhenFull();
  }
  void AppendUtf8(const QString& text) { AppendUtf8(NodeTextView(QStringView(text))); }

  void AppendJsonString(NodeTextView text) {
    buffer_ += '"';
    if (text.IsPrintableAscii()) {
      AppendJsonEscaped(text.Latin1Bytes());
    } else {
      scratch_.clear();
      AppendUtf8To(scratch_, text);
      AppendJsonEscaped(scratch_);
    }
    buffer_ += '"';
    FlushWhenFull();
  }
  void AppendJsonString(const QString& text) { AppendJsonString(NodeTextView(QStringView(text))); }

  void Flush() {
    if (buffer_.empty()) return;
    sink_(buffer_);
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kChunk = 64 * 1024;
  void FlushWhenFull() {
    if (buffer_.size() >= kChunk) Flush();
  }

  static void AppendUtf8To(std::string& out, NodeTextView text) {
    if (!text.IsLatin1()) {
      const QByteArray utf8 = text.Utf16().toUtf8();
      out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
      return;
    }
    const std::string_view bytes = text.Latin1Bytes();
    if (text.IsPrintableAscii()) {
      out += bytes;
      return;
    }
    for (const char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) {
        out += c;
      } else {
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
      }
    }
  }

  void AppendJsonEscaped(std::string_view utf8) { AppendJsonEscapedTo(buffer_, utf8); }

  const OutputSink& sink_;
  std::string buffer_;
  std::string scratch_;
};

void WriteTextLines(ChunkedWriter& out, const TTreeNode* node, std::string& prefix, const NodeShown& shown = {}) {
  const auto shownFrom = [&](const TTreeNode* child) {
    while (child != nullptr && shown && !shown(child)) child = node->GetNextChild(child);
    return child;
  };
  for (const TTreeNode* child = shownFrom(node->getFirstChild()); child != nullptr;) {
    const TTreeNode* following = shownFrom(node->GetNextChild(child));
    const bool last = following == nullptr;
    out.Append(prefix);
    out.Append(last ? "└── " : "├── ");
    out.AppendUtf8(child->TextView());
    out.Append('\n');
    if (child->GetChildren()) {
      const std::size_t length = prefix.size();
      prefix += last ? "    " : "│   ";
      WriteTextLines(out, child, prefix, shown);
      prefix.resize(length);
    }
    child = following;
  }
}

// A top-level node of the whole tree and the root of a copied subtree are
// drawn alike: their text alone, their descendants below.
void WriteSubtreeLines(ChunkedWriter& out, const TTreeNode& node, const NodeShown& shown = {}) {
  out.AppendUtf8(node.TextView());
  out.Append('\n');
  std::string prefix;
  WriteTextLines(out, &node, prefix, shown);
}

void WriteJsonNode(ChunkedWriter& out, const TTreeNode* node, const NodeName& rawName) {
  out.Append("{\"text\":");
  out.AppendJsonString(node->TextView());
  if (rawName) {
    if (const std::optional<QString> name = rawName(node)) {
      out.Append(",\"name\":");
      out.AppendJsonString(*name);
    }
  }
  out.Append(",\"icon\":");
  out.Append(std::to_string(node->ImageIndex()));
  out.Append(",\"children\":[");
  for (const TTreeNode* child = node->getFirstChild(); child != nullptr; child = node->GetNextChild(child)) {
    if (child != node->getFirstChild()) out.Append(',');
    WriteJsonNode(out, child, rawName);
  }
  out.Append("]}");
}

}  // namespace

void WriteTreeAsText(const TTreeNodes& items, const QStringList& status, const OutputSink& sink) {
  ChunkedWriter out(sink);
  for (int i = 0; i < items.TopCount(); ++i) WriteSubtreeLines(out, *items.TopItem(i));
  for (const QString& panel : status) {
    if (panel.isEmpty()) continue;
    out.AppendUtf8(panel);
    out.Append('\n');
  }
}

void WriteTreeAsJson(const TTreeNodes& items, const QStringList& status, const std::vector<FileError>& errors,
                     const OutputSink& sink, const NodeName& rawName) {
  ChunkedWriter out(sink);
  out.Append("{\"tree\":[");
  for (int i = 0; i < items.TopCount(); ++i) {
    if (i > 0) out.Append(',');
    WriteJsonNode(out, items.TopItem(i), rawName);
  }
  out.Append("],\"status\":[");
  for (qsizetype i = 0; i < status.size(); ++i) {
    if (i > 0) out.Append(',');
    out.AppendJsonString(status[i]);
  }
  out.Append("],\"errors\":[");
  for (std::size_t i = 0; i < errors.size(); ++i) {
    if (i > 0) out.Append(',');
    out.Append("{\"file\":");
    out.AppendJsonString(errors[i].file);
    out.Append(",\"message\":");
    out.AppendJsonString(errors[i].message);
    out.Append('}');
  }
  out.Append("]}\n");
}

std::string TreeAsText(const TTreeNodes& items, const QStringList& status) {
  std::string text;
  WriteTreeAsText(items, status, [&](std::string_view chunk) { text += chunk; });
  return text;
}

std::string SubtreeAsText(const TTreeNode& node, const NodeShown& shown) {
  std::string text;
  const OutputSink sink = [&](std::string_view chunk) { text += chunk; };
  {
    ChunkedWriter out(sink);
    WriteSubtreeLines(out, node, shown);
  }
  return text;
}

std::string TreeAsJson(const TTreeNodes& items, const QStringList& status, const std::vector<FileError>& errors) {
  std::string text;
  WriteTreeAsJson(items, status, errors, [&](std::string_view chunk) { text += chunk; });
  return text;
}

}  // namespace corvane
