#include "tree_output.h"

#include <cstdio>

namespace corvane {
namespace {

void AppendUtf8(std::string& out, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

void AppendTextLines(std::string& out, const TTreeNode* node, std::string& prefix) {
  for (const TTreeNode* child = node->getFirstChild(); child != nullptr; child = node->GetNextChild(child)) {
    const bool last = node->GetNextChild(child) == nullptr;
    out += prefix;
    out += last ? "└── " : "├── ";
    AppendUtf8(out, child->Text());
    out += '\n';
    if (!child->GetChildren()) continue;
    const std::size_t length = prefix.size();
    prefix += last ? "    " : "│   ";
    AppendTextLines(out, child, prefix);
    prefix.resize(length);
  }
}

void AppendJsonString(std::string& out, const QString& text) {
  out += '"';
  for (const char c : text.toUtf8()) {
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
  out += '"';
}

void AppendJsonNode(std::string& out, const TTreeNode* node) {
  out += "{\"text\":";
  AppendJsonString(out, node->Text());
  out += ",\"icon\":" + std::to_string(node->ImageIndex()) + ",\"children\":[";
  for (const TTreeNode* child = node->getFirstChild(); child != nullptr; child = node->GetNextChild(child)) {
    if (child != node->getFirstChild()) out += ',';
    AppendJsonNode(out, child);
  }
  out += "]}";
}

}  // namespace

std::string TreeAsText(const TTreeNodes& items, const QStringList& status) {
  std::string out;
  std::string prefix;
  for (int i = 0; i < items.TopCount(); ++i) {
    const TTreeNode* top = items.TopItem(i);
    AppendUtf8(out, top->Text());
    out += '\n';
    AppendTextLines(out, top, prefix);
  }
  for (const QString& panel : status) {
    if (panel.isEmpty()) continue;
    AppendUtf8(out, panel);
    out += '\n';
  }
  return out;
}

std::string TreeAsJson(const TTreeNodes& items, const QStringList& status, const std::vector<FileError>& errors) {
  std::string out = "{\"tree\":[";
  for (int i = 0; i < items.TopCount(); ++i) {
    if (i > 0) out += ',';
    AppendJsonNode(out, items.TopItem(i));
  }
  out += "],\"status\":[";
  for (qsizetype i = 0; i < status.size(); ++i) {
    if (i > 0) out += ',';
    AppendJsonString(out, status[i]);
  }
  out += "],\"errors\":[";
  for (std::size_t i = 0; i < errors.size(); ++i) {
    if (i > 0) out += ',';
    out += "{\"file\":";
    AppendJsonString(out, errors[i].file);
    out += ",\"message\":";
    AppendJsonString(out, errors[i].message);
    out += '}';
  }
  out += "]}\n";
  return out;
}

}  // namespace corvane
