#include "node_search.h"

#include <QStringList>

namespace corvane {
namespace {

TTreeNode* LastDescendant(TTreeNode* node) {
  while (node->GetChildren()) node = node->Item(node->Count() - 1);
  return node;
}

// Next and Previous step through display order and return null past either
// end. Over a whole pass each node is climbed out of and descended into at
// most once, so a pass stays linear.
TTreeNode* Next(const TTreeNode* node) {
  if (TTreeNode* child = node->getFirstChild()) return child;
  for (; node != nullptr; node = node->Parent()) {
    if (TTreeNode* sibling = node->getNextSibling()) return sibling;
  }
  return nullptr;
}

TTreeNode* Previous(const TTreeNodes& items, const TTreeNode* node) {
  TTreeNode* parent = node->Parent();
  if (node->Index() == 0) return parent;
  return LastDescendant(parent != nullptr ? parent->Item(node->Index() - 1) : items.TopItem(node->Index() - 1));
}

bool HoldsEveryWord(NodeTextView text, const QStringList& words) {
  for (const QString& word : words) {
    const bool holds = text.IsLatin1() ? text.Latin1().contains(word, Qt::CaseInsensitive)
                                       : text.Utf16().contains(word, Qt::CaseInsensitive);
    if (!holds) return false;
  }
  return true;
}

}  // namespace

TTreeNode* FindNode(const TTreeNodes& items, const TTreeNode* from, const QString& query, bool backwards,
                    const NodeName& otherSpelling, const NodeShown& shown) {
  const QStringList words = query.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (words.isEmpty() || items.TopCount() == 0) return nullptr;
  TTreeNode* first = items.TopItem(0);
  TTreeNode* last = LastDescendant(items.TopItem(items.TopCount() - 1));
  const auto matches = [&](const TTreeNode* candidate) {
    if (shown && !shown(candidate)) return false;
    if (HoldsEveryWord(candidate->TextView(), words)) return true;
    if (!otherSpelling) return false;
    const std::optional<QString> other = otherSpelling(candidate);
    return other && HoldsEveryWord(NodeTextView(QStringView(*other)), words);
  };
  const TTreeNode* node = from;
  for (int step = 0; step < items.GetCount(); ++step) {
    TTreeNode* candidate = node == nullptr ? nullptr : backwards ? Previous(items, node) : Next(node);
    if (candidate == nullptr) candidate = backwards ? last : first;
    if (matches(candidate)) return candidate;
    node = candidate;
  }
  return nullptr;
}

}  // namespace corvane
