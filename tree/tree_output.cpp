#include "tree_output.h"

#include <cstdio>

namespace corvane {
namespace {

bool IsAscii(const QString& text) {
  const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
  char16_t all = 0;
  for (qsizetype i = 0; i < text.size(); ++i) all = static_cast<char16_t>(all | units[i]);
  return all < 0x80;
}

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

  // Appends `text` as UTF-8. Most texts are ASCII: those are narrowed
  // straight into the buffer, in two passes simple enough to vectorise.
  void AppendUtf8(const QString& text) {
    if (IsAscii(text)) {
      const auto size = static_cast<std::size_t>(text.size());
      const std::size_t start = buffer_.size();
      buffer_.resize(start + size);
      const char16_t* source = reinterpret_cast<const char16_t*>(text.utf16());
      char* target = buffer_.data() + start;
      for (std::size_t i = 0; i < size; ++i) target[i] = static_cast<char>(source[i]);
    } else {
      const QByteArray utf8 = text.toUtf8();
      buffer_.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    }
    FlushWhenFull();
  }

  void AppendJsonString(const QString& text) {
    const std::string utf8 = IsAscii(text) ? text.toLatin1().toStdString() : text.toUtf8().toStdString();
    buffer_ += '"';
    for (const char c : utf8) {
      switch (c) {
        case '"':
          buffer_ += "\\\"";
          break;
        case '\\':
          buffer_ += "\\\\";
          break;
        case '\n':
          buffer_ += "\\n";
          break;
        case '\r':
          buffer_ += "\\r";
          break;
        case '\t':
          buffer_ += "\\t";
          break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            buffer_ += escaped;
          } else {
            buffer_ += c;
          }
      }
    }
    buffer_ += '"';
    FlushWhenFull();
  }

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

  const OutputSink& sink_;
  std::string buffer_;
};

void WriteTextLines(ChunkedWriter& out, const TTreeNode* node, std::string& prefix) {
  for (const TTreeNode* child = node->getFirstChild(); child != nullptr; child = node->GetNextChild(child)) {
    const bool last = node->GetNextChild(child) == nullptr;
    out.Append(prefix);
    out.Append(last ? "└── " : "├── ");
    out.AppendUtf8(child->Text());
    out.Append('\n');
    if (!child->GetChildren()) continue;
    const std::size_t length = prefix.size();
    prefix += last ? "    " : "│   ";
    WriteTextLines(out, child, prefix);
    prefix.resize(length);
  }
}

void WriteJsonNode(ChunkedWriter& out, const TTreeNode* node) {
  out.Append("{\"text\":");
  out.AppendJsonString(node->Text());
  out.Append(",\"icon\":");
  out.Append(std::to_string(node->ImageIndex()));
  out.Append(",\"children\":[");
  for (const TTreeNode* child = node->getFirstChild(); child != nullptr; child = node->GetNextChild(child)) {
    if (child != node->getFirstChild()) out.Append(',');
    WriteJsonNode(out, child);
  }
  out.Append("]}");
}

}  // namespace

void WriteTreeAsText(const TTreeNodes& items, const QStringList& status, const OutputSink& sink) {
  ChunkedWriter out(sink);
  std::string prefix;
  for (int i = 0; i < items.TopCount(); ++i) {
    const TTreeNode* top = items.TopItem(i);
    out.AppendUtf8(top->Text());
    out.Append('\n');
    WriteTextLines(out, top, prefix);
  }
  for (const QString& panel : status) {
    if (panel.isEmpty()) continue;
    out.AppendUtf8(panel);
    out.Append('\n');
  }
}

void WriteTreeAsJson(const TTreeNodes& items, const QStringList& status, const std::vector<FileError>& errors,
                     const OutputSink& sink) {
  ChunkedWriter out(sink);
  out.Append("{\"tree\":[");
  for (int i = 0; i < items.TopCount(); ++i) {
    if (i > 0) out.Append(',');
    WriteJsonNode(out, items.TopItem(i));
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

std::string TreeAsJson(const TTreeNodes& items, const QStringList& status, const std::vector<FileError>& errors) {
  std::string text;
  WriteTreeAsJson(items, status, errors, [&](std::string_view chunk) { text += chunk; });
  return text;
}

}  // namespace corvane
