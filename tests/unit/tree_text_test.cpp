#include <gtest/gtest.h>

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "child_text_index.h"
#include "node_kinds.h"
#include "node_text.h"
#include "pe_writer.h"
#include "sibling_order.h"
#include "text_collator.h"
#include "tree_nodes.h"
#include "viewer_shells.h"

namespace corvane {
namespace {

int Sign(int value) { return (value > 0) - (value < 0); }
QString NumberedText(std::string_view prefix, std::size_t n) { return QString::fromStdString(testing::Numbered(prefix, n)); }

// The weights of a text that has them, as the collator gives them one by one.
std::string Weights(const TextCollator& collator, NodeTextView text) {
  std::string weights;
  for (const char c : text.Latin1Bytes()) weights += static_cast<char>(collator.Weight(c));
  return weights;
}

TEST(TreeNodesTexts, EveryTextSurvivesCompactionsCausedByDeletesAndRenames) {
  TTreeNodes items;
  std::map<TTreeNode*, QString> expected;
  const auto longText = [](std::string_view prefix, std::size_t n) {
    QString text = NumberedText(prefix, n) + QString(300, QLatin1Char('.'));
    if (n % 7 == 0) text += QChar(0x3a9);
    if (n % 5 == 0) text += QChar(0xe9);
    return n % 11 == 0 ? QString() : text;
  };
  for (std::size_t p = 0; p < 30; ++p) {
    TTreeNode* parent = items.AddChild(nullptr, NumberedText("parent", p));
    expected[parent] = parent->Text();
    for (std::size_t c = 0; c < 100; ++c) expected[items.AddChild(parent, longText("child", c))] = longText("child", c);
  }
  const auto check = [&](const char* phase) {
    ASSERT_EQ(static_cast<std::size_t>(items.GetCount()), expected.size()) << phase;
    for (const auto& [node, text] : expected) ASSERT_EQ(node->Text(), text) << phase;
  };
  // An untouched text moves only when the store is compacted.
  const auto untouchedAt = [&] { return items.TopItem(0)->TextView().Latin1Bytes().data(); };
  const char* lastAt = untouchedAt();
  int compactions = 0;
  const auto countCompaction = [&] {
    if (untouchedAt() != lastAt) ++compactions;
    lastAt = untouchedAt();
  };
  for (int p = 0; p < 30; ++p) {
    for (int c = items.TopItem(p)->Count() - 1; c > 0; --c) {
      if (c % 10 == 0) continue;
      expected.erase(items.TopItem(p)->Item(c));
      items.Delete(items.TopItem(p)->Item(c));
      countCompaction();
    }
  }
  EXPECT_GE(std::exchange(compactions, 0), 1) << "the deletes were meant to make compacting worth it";
  check("after the deletes");
  for (std::size_t round = 0, n = 0; round < 12; ++round) {
    for (auto& [node, text] : expected) {
      if (node->Parent() == nullptr) continue;
      node->SetText(text = longText("renamed", n += 13));
      countCompaction();
      if (n % 3 == 0) {
        node->AppendText(u"\u00e9");
        text += QChar(0xe9);
        countCompaction();
      }
    }
    check("after renaming");
  }
  EXPECT_GE(compactions, 4) << "the renames were meant to make compacting worth it";
}

QString RandomAscii(std::mt19937& rng, std::size_t maxSize) {
  static constexpr std::string_view kDense = "aAbBzZ09_-., ~$";
  std::string text(rng() % (maxSize + 1), ' ');
  for (char& c : text) c = rng() % 2 == 0 ? kDense[rng() % kDense.size()] : static_cast<char>(0x20 + rng() % 95);
  return QString::fromStdString(text);
}

// Printable ASCII has weights that order as the collator does, but only in a
// language that leaves ASCII untailored (in Czech "ch" follows "h"); every
// other text is placed by the collator, however it is held.
TEST(TextCollator, AsciiWeightsOrderAsTheCollatorDoesAndTheCollatorPlacesEveryOtherText) {
  std::vector<QString> texts{"",    "chx",   "hz",   "a\001b", "a\tb", "a\x7f", QString::fromLatin1("r\xe9sum\xe9"),
                             "resume", "RESUME", QStringLiteral("\u03a9"), QStringLiteral("a\U0001F600")};
  for (char16_t c = 0x20; c < 0x7f; ++c) texts.emplace_back(QChar(c));
  std::mt19937 rng(20240611);
  for (int i = 0; i < 150; ++i) texts.push_back(RandomAscii(rng, 12));
  for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::Czech)}) {
    const TextCollator collator(locale);
    QCollator reference(locale);
    reference.setCaseSensitivity(Qt::CaseInsensitive);
    NodeTextStore store;
    std::vector<NodeTextView> views;
    for (const QString& text : texts) views.push_back(store.Store(QStringView(text)));
    for (std::size_t a = 0; a < texts.size(); ++a) {
      const bool printable = std::all_of(texts[a].begin(), texts[a].end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
      ASSERT_EQ(collator.HasWeights(views[a]), printable && locale.language() == QLocale::English) << texts[a].toStdString();
      for (std::size_t b = 0; b < texts.size(); ++b) {
        const int expected = Sign(reference.compare(texts[a], texts[b]));
        const std::string context = '"' + texts[a].toStdString() + "\" / \"" + texts[b].toStdString() + '"';
        ASSERT_EQ(collator.Compare(views[a], views[b]), expected) << context;
        ASSERT_EQ(collator.Compare(NodeTextView(QStringView(texts[a])), views[b]), expected) << "held as UTF-16: " << context;
        if (collator.HasWeights(views[a]) && collator.HasWeights(views[b])) {
          ASSERT_EQ(Sign(Weights(collator, views[a]).compare(Weights(collator, views[b]))), expected) << context;
        }
      }
    }
  }
}

TEST(SiblingOrder, SortSiblingsGivesTheOrderOfAStableSortWithTheTreeCompare) {
  corvane::testing::NullShell shell;
  ViewerCore core(shell);
  TTreeNodes& items = core.Items();
  const TextCollator collator;
  SiblingOrder order(collator);
  const QString pool[] = {"", "Kernel32.dll", "KERNEL32.DLL", "kernel32.dll", "ab", "AB", "a", "10", "9",
                          QString::fromLatin1("r\xe9sum\xe9"), "resume", QStringLiteral("\u03a9mega"), "a\001b"};
  const std::size_t asciiPool = 9;  // the texts before are all printable ASCII
  std::mt19937 rng(11);
  for (std::size_t round = 0; round < 90; ++round) {
    TTreeNode* parent = items.AddChild(nullptr, QStringLiteral("parent"));
    std::vector<TTreeNode*> expected;
    // A stem longer than the weights compared first: on no text, every text, or most.
    const QString stem = round % 3 == 0 ? QString() : QStringLiteral("GetModuleHandle");
    // Every other round all texts have weights.
    const std::size_t poolSize = round % 2 == 0 ? asciiPool : std::size(pool);
    // Large sets, as well as small, where all texts have weights are sorted another way.
    for (std::size_t i = 0, count = round % 4 == 0 ? 300 + rng() % 200 : 2 + rng() % 40; i < count; ++i) {
      QString text = rng() % 3 == 0 ? pool[rng() % poolSize] : RandomAscii(rng, 12);
      if (round % 3 == 1 || rng() % 4 != 0) text.prepend(stem);
      TTreeNode* node = expected.emplace_back(items.AddChild(parent, text));
      SetNodeIcon(node, static_cast<int>(rng() % (kNodeIconCount + 1)) - 1);
      if (rng() % 3 == 0) items.AddChild(node, QStringLiteral("child"));
    }
    std::vector<TTreeNode*> actual = expected;
    std::stable_sort(expected.begin(), expected.end(), [&](TTreeNode* a, TTreeNode* b) {
      int compare = 0;
      core.InfoTreeCompare(a, b, 0, compare);
      return compare < 0;
    });
    SortSiblings(actual, order);
    ASSERT_EQ(actual, expected) << "round " << round;
    SortSiblings(actual, order);
    ASSERT_EQ(actual, expected) << "sorted siblings stay as they are, round " << round;
  }
}

TEST(SiblingOrder, DroppingRepeatsKeepsTheFirstOfEachTextInItsGroupInOrderCollatingEachOnce) {
  const TextCollator collator;
  SiblingOrder order(collator);
  NodeTextStore store;
  const QString pool[] = {"b", "B", "a", "A", "", "GetModuleHandleA", "getmodulehandlea", "GetModuleHandleW",
                          QString::fromLatin1("r\xe9sum\xe9"), "resume", "RESUME", QStringLiteral("\u03a9")};
  const std::size_t asciiPool = 8;
  std::mt19937 rng(5);
  for (std::size_t round = 0; round < 80; ++round) {
    const std::size_t poolSize = round % 2 == 0 ? asciiPool : std::size(pool);
    std::vector<std::pair<NodeTextView, int>> kept;
    order.Clear(SiblingOrder::Repeats::kDrop);
    for (std::size_t i = 0, count = round % 4 == 0 ? 300 + rng() % 200 : 1 + rng() % 60; i < count; ++i) {
      const QString& text = pool[rng() % poolSize];
      // A repeat is one whichever way either text is held; every other
      // round all texts are stored, and have weights.
      const bool stored = round % 2 == 0 || rng() % 2 == 0;
      const NodeTextView view = stored ? store.Store(QStringView(text)) : NodeTextView(QStringView(text));
      const int group = rng() % 4 == 0 ? 2 : 100;
      order.Add(view, group);
      if (std::find(kept.begin(), kept.end(), std::pair(view, group)) == kept.end()) kept.emplace_back(view, group);
    }
    std::vector<std::uint32_t> expected(kept.size());
    std::iota(expected.begin(), expected.end(), 0u);
    std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t i, std::uint32_t j) {
      const auto& [a, groupA] = kept[i];
      const auto& [b, groupB] = kept[j];
      if (groupA != groupB) return groupA < groupB;
      if (a.empty() || b.empty()) return a.empty() && !b.empty();
      return collator.Compare(a, b) < 0;
    });
    const std::size_t callsBefore = collator.CollatorCalls();
    const std::span<const std::uint32_t> actual = order.Sort();
    ASSERT_EQ(std::vector<std::uint32_t>(actual.begin(), actual.end()), expected) << "round " << round;
    // However many comparisons the sort takes, the collator sees each text
    // left once, and none when every text has weights.
    const bool allWeighted = std::all_of(kept.begin(), kept.end(), [&](const auto& text) { return collator.HasWeights(text.first); });
    EXPECT_EQ(collator.CollatorCalls() - callsBefore, allWeighted ? 0 : kept.size()) << "round " << round;
  }
}

TTreeNode* NeverMade() {
  ADD_FAILURE() << "an indexed child was not found";
  return nullptr;
}

TEST(ChildTextIndex, FindsTheFirstWantedChildOfItsOwnParentWhateverTheTextsRepresentation) {
  TTreeNodes items;
  TTreeNode* first = items.AddChild(nullptr, QStringLiteral("first"));
  TTreeNode* second = items.AddChild(nullptr, QStringLiteral("second"));
  TTreeNode* existing = items.AddChild(first, QString::fromLatin1("caf\xe9"));
  items.AddChild(first, QString::fromLatin1("caf\xe9"));  // a later child of the same text is not the one found
  SetNodeIcon(items.AddChild(first, QStringLiteral("unwanted")), kIconImport);
  ChildTextIndex index(first), otherIndex(second);
  index.AddExistingChildren([](const TTreeNode* child) { return child->ImageIndex() != kIconImport; });
  EXPECT_EQ(index.FindOrAdd(NodeTextView(QStringView(u"caf\u00e9")), NeverMade), existing);
  TTreeNode* other = otherIndex.FindOrAdd(NodeTextView(QLatin1StringView("x")), [&] { return items.AddChild(second, "x"); });
  EXPECT_EQ(otherIndex.FindOrAdd(NodeTextView(QStringView(u"x")), NeverMade), other);
  int made = 0;
  const auto make = [&] { return ++made == 1 ? items.AddChild(first, "unwanted") : nullptr; };
  index.FindOrAdd(NodeTextView(QLatin1StringView("unwanted")), make);  // an unwanted child is not indexed
  EXPECT_EQ(index.FindOrAdd(NodeTextView(QLatin1StringView("y")), make), nullptr);
  EXPECT_EQ(index.FindOrAdd(NodeTextView(QLatin1StringView("y")), make), nullptr);
  EXPECT_EQ(made, 3) << "a refused child is not indexed";
}

}  // namespace
}  // namespace corvane
