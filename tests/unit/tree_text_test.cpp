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

using Kind = NodeTextView::Kind;
using corvane::testing::Numbered;

int Sign(int value) { return (value > 0) - (value < 0); }
QString Utf16(QStringView text) { return text.toString(); }
QString NumberedText(std::string_view prefix, std::size_t n) { return QString::fromStdString(Numbered(prefix, n)); }

// The weights of a text that has them, as the collator gives them one by one.
std::string Weights(const TextCollator& collator, NodeTextView text) {
  std::string weights;
  for (const char c : text.Latin1Bytes()) weights += static_cast<char>(collator.Weight(c));
  return weights;
}

// Every way a text meets another: as stored (Latin-1 when it fits) and as a
// caller's UTF-16 view of its own QString.
std::vector<NodeTextView> Representations(NodeTextStore& store, const QString& text) {
  std::vector<NodeTextView> views{NodeTextView(QStringView(text))};
  if (const NodeTextView stored = store.Store(QStringView(text)); stored.IsLatin1()) views.push_back(stored);
  return views;
}

TEST(ClassifyBytes, EveryByteValueAtEveryPlaceOfAWordOrTheTailIsClassifiedAsByteByByte) {
  for (std::size_t size = 1; size <= 19; ++size) {
    for (std::size_t at = 0; at < size; ++at) {
      for (int value = 0; value < 256; ++value) {
        std::string bytes(size, 'a');
        bytes[at] = static_cast<char>(value);
        // The neighbours that could hide a borrow or a carry.
        if (at + 1 < size) bytes[at + 1] = value % 2 == 0 ? ' ' : '~';
        const ByteClass byteClass = ClassifyBytes(bytes);
        ASSERT_EQ(byteClass.ascii, value < 0x80) << size << " " << at << " " << value;
        ASSERT_EQ(byteClass.printableAscii, value >= 0x20 && value <= 0x7E) << size << " " << at << " " << value;
      }
    }
  }
  EXPECT_TRUE(ClassifyBytes({}).ascii && ClassifyBytes({}).printableAscii);
}

TEST(NodeTextStore, TextsComeBackAsStoredInTheNarrowestKind) {
  const std::pair<QString, Kind> cases[] = {
      {"GetProcAddress", Kind::kPrintableAscii}, {" ~", Kind::kPrintableAscii}, {"", Kind::kPrintableAscii},
      {QString::fromLatin1("caf\xe9"), Kind::kLatin1}, {"tab\t", Kind::kLatin1}, {"\x7f", Kind::kLatin1},
      {QString::fromLatin1("\xff"), Kind::kLatin1}, {Utf16(u"\u0100"), Kind::kUtf16}, {Utf16(u"\u03a9"), Kind::kUtf16},
      {Utf16(u"a\U0001F600"), Kind::kUtf16}, {QString(17000, QLatin1Char('x')), Kind::kPrintableAscii},
      {QString(70000, QChar(0xe9)), Kind::kLatin1}, {QString(70001, QChar(0x3a9)), Kind::kUtf16}};
  NodeTextStore store;
  for (const auto& [text, kind] : cases) {
    const NodeTextView stored = store.Store(QStringView(text));
    EXPECT_EQ(stored.GetKind(), kind) << text.left(8).toStdString();
    EXPECT_EQ(stored.ToString(), text);
    EXPECT_EQ(store.Copy(stored).ToString(), text);
    if (kind == Kind::kUtf16) continue;
    const QByteArray latin1 = text.toLatin1();
    EXPECT_EQ(NodeTextView(QLatin1StringView(latin1)).GetKind(), kind);
    EXPECT_EQ(store.Store(QLatin1StringView(latin1)).GetKind(), kind);
    EXPECT_EQ(store.Store(QLatin1StringView(latin1)).ToString(), text);
  }
}

TEST(NodeTextView, EqualityHashAndCaseInsensitiveOrderGoByCharactersWhateverTheRepresentation) {
  const QString texts[] = {"", "a", "ab", "abc", "kernel32.dll", "KERNEL32.dll", "cafe", QString::fromLatin1("caf\xe9"),
                           Utf16(u"caf\u01e9"), QString::fromLatin1("\xc9T\xc9"), Utf16(u"\u03a9"),
                           Utf16(u"a\U0001F600")};
  NodeTextStore store;
  for (const QString& a : texts) {
    for (const QString& b : texts) {
      for (const NodeTextView& viewA : Representations(store, a)) {
        for (const NodeTextView& viewB : Representations(store, b)) {
          const std::string context = a.toStdString() + " / " + b.toStdString();
          EXPECT_EQ(viewA == viewB, a == b) << context;
          EXPECT_TRUE(a != b || viewA.Hash() == viewB.Hash()) << context;
          EXPECT_EQ(Sign(viewA.CompareCaseInsensitive(viewB)), Sign(a.compare(b, Qt::CaseInsensitive))) << context;
        }
      }
    }
  }
}

// The micro sign is the one Latin-1 letter whose case folding leaves
// Latin-1 (it folds to the Greek mu): ignoring case it sorts after every
// other Latin-1 letter and after U+0100 too, however either text is held.
// Any other order makes the comparison circular, and a sort by text then
// depends on the order the nodes came in.
TEST(NodeTextView, CaseInsensitiveOrderFoldsTheMicroSignAsQStringDoes) {
  const QString micro = QString::fromLatin1("\xb5"), yDiaeresis = QString::fromLatin1("\xff"), aMacron = Utf16(u"\u0100");
  NodeTextStore store;
  for (const NodeTextView& a : Representations(store, micro)) {
    for (const NodeTextView& b : Representations(store, yDiaeresis)) {
      EXPECT_EQ(Sign(a.CompareCaseInsensitive(b)), Sign(micro.compare(yDiaeresis, Qt::CaseInsensitive)))
          << "held as Latin-1: " << a.IsLatin1() << ", " << b.IsLatin1();
    }
  }
  TTreeNodes items;
  for (const QString& text : {micro, aMacron, yDiaeresis}) items.AddChild(nullptr, text);
  items.SortChildren(nullptr);
  EXPECT_EQ(items.TopItem(0)->Text() + items.TopItem(1)->Text() + items.TopItem(2)->Text(),
            yDiaeresis + aMacron + micro);
}

// Deleting most of a large tree and renaming the rest over and over wastes
// far more than stays live, so the store is compacted again and again; every
// node must then read its own text from the new store.
TEST(TreeNodesTexts, EveryTextSurvivesCompactionsCausedByDeletesAndRenames) {
  TTreeNodes items;
  std::map<TTreeNode*, QString> expected;
  const auto longText = [](std::string_view prefix, std::size_t n) {
    QString text = NumberedText(prefix, n) + QString(300, QLatin1Char('.'));
    if (n % 7 == 0) text += QChar(0x3a9);
    if (n % 5 == 0) text += QChar(0xe9);
    return n % 11 == 0 ? QString() : text;
  };
  const auto add = [&](TTreeNode* parent, const QString& text) {
    TTreeNode* node = items.AddChild(parent, text);
    expected[node] = text;
    return node;
  };
  for (std::size_t p = 0; p < 30; ++p) {
    const std::string name = Numbered("parent", p);
    TTreeNode* parent = items.AddChild(nullptr, QLatin1StringView(name.data(), static_cast<qsizetype>(name.size())));
    expected.emplace(parent, QString::fromStdString(name));
    for (std::size_t c = 0; c < 100; ++c) {
      TTreeNode* child = add(parent, longText("child", c));
      if (c % 5 == 0) add(child, longText("grandchild", c));
    }
  }
  const auto check = [&](const char* phase) {
    ASSERT_EQ(static_cast<std::size_t>(items.GetCount()), expected.size()) << phase;
    for (const auto& [node, text] : expected) ASSERT_EQ(node->Text(), text) << phase;
  };
  // An untouched text moves only when the store is compacted, and then
  // never to where it was just before: the new store is filled while the
  // old one still holds it.
  const auto untouchedAt = [&] { return static_cast<const void*>(items.TopItem(0)->TextView().Latin1Bytes().data()); };
  const void* lastAt = untouchedAt();
  int compactions = 0;
  const auto countCompaction = [&] {
    compactions += untouchedAt() != lastAt ? 1 : 0;
    lastAt = untouchedAt();
  };
  for (int p = 0; p < 30; ++p) {
    for (int c = items.TopItem(p)->Count() - 1; c > 0; --c) {
      if (c % 10 == 0) continue;
      TTreeNode* child = items.TopItem(p)->Item(c);
      if (child->Count() > 0) expected.erase(child->Item(0));
      expected.erase(child);
      items.Delete(child);
      countCompaction();
    }
  }
  EXPECT_GE(compactions, 1) << "the deletes were meant to make compacting worth it";
  check("after the deletes");
  compactions = 0;
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

QCollator ReferenceCollator(const QLocale& locale) {
  QCollator collator(locale);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  collator.setNumericMode(false);
  collator.setIgnorePunctuation(false);
  return collator;
}

QString RandomAscii(std::mt19937& rng, std::size_t maxSize) {
  static constexpr std::string_view kDense = "aAbBzZ09_-., ~$";
  std::string text(rng() % (maxSize + 1), ' ');
  for (char& c : text) c = rng() % 2 == 0 ? kDense[rng() % kDense.size()] : static_cast<char>(0x20 + rng() % 95);
  return QString::fromStdString(text);
}

// Pairs shaped like the names that meet in a sorted list: unrelated, case
// variants, one the prefix of the other, one character apart, shared stems.
std::pair<QString, QString> RandomAsciiPair(std::mt19937& rng) {
  const QString a = RandomAscii(rng, 12);
  QString b = a;
  switch (rng() % 6) {
    case 0: return {a, RandomAscii(rng, 12)};
    case 1: for (QChar& c : b) c = rng() % 2 == 0 ? c.toUpper() : c.toLower(); break;
    case 2: b.truncate(static_cast<qsizetype>(rng() % (a.size() + 1))); break;
    case 3: b += RandomAscii(rng, 3); break;
    case 4:
      if (!b.isEmpty()) b[static_cast<qsizetype>(rng() % b.size())] = QChar(static_cast<char16_t>(0x20 + rng() % 95));
      break;
    default: return {a + a.left(3), a + RandomAscii(rng, 3)};
  }
  return {a, b};
}

TEST(TextCollator, EnglishAsciiComparesAndWeighsExactlyAsTheCollatorOrders) {
  for (const QLocale& locale : {QLocale(QStringLiteral("en_US")), QLocale(QStringLiteral("en_GB"))}) {
    const TextCollator collator(locale);
    const QCollator reference = ReferenceCollator(locale);
    std::vector<std::pair<QString, QString>> pairs;
    for (char16_t a = 0x20; a < 0x7f; ++a) {
      for (char16_t b = 0x20; b < 0x7f; ++b) pairs.emplace_back(QChar(a), QChar(b));
    }
    std::mt19937 rng(20240611);
    for (int i = 0; i < 6000; ++i) pairs.push_back(RandomAsciiPair(rng));
    NodeTextStore store;
    for (const auto& [a, b] : pairs) {
      const int expected = Sign(reference.compare(a, b));
      const NodeTextView viewA = store.Store(QStringView(a)), viewB = store.Store(QStringView(b));
      const std::string context = '"' + a.toStdString() + "\" / \"" + b.toStdString() + '"';
      ASSERT_EQ(collator.Compare(viewA, viewB), expected) << context;
      ASSERT_EQ(collator.Compare(NodeTextView(QStringView(a)), viewB), expected) << "held as UTF-16: " << context;
      ASSERT_TRUE(collator.HasWeights(viewA) && collator.HasWeights(viewB));
      ASSERT_EQ(Sign(Weights(collator, viewA).compare(Weights(collator, viewB))), expected) << "weights: " << context;
      // Texts that start alike (case apart) compare alike from past that start.
      const qsizetype same = std::min({qsizetype{3}, a.size(), b.size()});
      if (QStringView(a).left(same).compare(QStringView(b).left(same), Qt::CaseInsensitive) == 0) {
        ASSERT_EQ(collator.CompareWeights(viewA, viewB, static_cast<std::size_t>(same)), expected)
            << "past a shared start: " << context;
      }
    }
  }
}

TEST(TextCollator, TextsBeyondPrintableAsciiAreOrderedByTheCollatorAndHaveNoWeights) {
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const TextCollator collator(english);
  const QCollator reference = ReferenceCollator(english);
  const std::pair<QString, QString> pairs[] = {
      {"ab", "a\001b"}, {"a", "a\001"}, {"", "\001"}, {"resume", QString::fromLatin1("r\xe9sum\xe9")},
      {"Resume", QString::fromLatin1("R\xc9SUM\xc9")}, {"f", QString::fromLatin1("\xe9")}, {"a b", "a\tb"},
      {"a~", "a\x7f"}, {"_", QString::fromLatin1("\xa0")}, {"zz", Utf16(u"\u03a9")}, {"ab", Utf16(u"a\U0001F600")}};
  NodeTextStore store;
  for (const auto& [ascii, other] : pairs) {
    const NodeTextView asciiView = store.Store(QStringView(ascii));
    for (const NodeTextView& otherView : Representations(store, other)) {
      EXPECT_EQ(collator.Compare(asciiView, otherView), Sign(reference.compare(ascii, other))) << other.toStdString();
      EXPECT_EQ(collator.Compare(otherView, asciiView), Sign(reference.compare(other, ascii))) << other.toStdString();
      EXPECT_FALSE(collator.HasWeights(otherView));
    }
  }
}

TEST(TextCollator, OtherLanguagesMayTailorAsciiSoTheCollatorOrdersEveryText) {
  const QLocale czech(QLocale::Czech);
  const TextCollator collator(czech);
  const QCollator reference = ReferenceCollator(czech);
  NodeTextStore store;
  const NodeTextView chx = store.Store(QLatin1StringView("chx")), hz = store.Store(QLatin1StringView("hz"));
  EXPECT_GT(collator.Compare(chx, hz), 0) << "\"ch\" follows \"h\"";
  EXPECT_EQ(collator.Compare(chx, hz), Sign(reference.compare(QStringLiteral("chx"), QStringLiteral("hz"))));
  EXPECT_FALSE(collator.HasWeights(hz));
}

TEST(SiblingOrder, SortSiblingsGivesTheOrderOfAStableSortWithTheTreeCompare) {
  corvane::testing::NullShell shell;
  ViewerCore core(shell);
  TTreeNodes& items = core.Items();
  const TextCollator collator;
  SiblingOrder order(collator);
  const QString pool[] = {"", "Kernel32.dll", "KERNEL32.DLL", "kernel32.dll", "ab", "AB", "a", "10", "9",
                          QString::fromLatin1("r\xe9sum\xe9"), "resume", Utf16(u"\u03a9mega"), "a\001b"};
  const std::size_t asciiPool = 9;  // the texts before are all printable ASCII
  std::mt19937 rng(11);
  for (std::size_t round = 0; round < 90; ++round) {
    TTreeNode* parent = items.AddChild(nullptr, QStringLiteral("parent"));
    // A stem longer than the weights compared first: on no text, every text, or most.
    const QString stem = round % 3 == 0 ? QString() : QStringLiteral("GetModuleHandle");
    // Every other round all texts have weights.
    const std::size_t poolSize = round % 2 == 0 ? asciiPool : std::size(pool);
    // Large sets, as well as small, where all texts have weights are sorted another way.
    for (std::size_t i = 0, count = round % 4 == 0 ? 300 + rng() % 200 : 2 + rng() % 40; i < count; ++i) {
      QString text = rng() % 3 == 0 ? pool[rng() % poolSize] : RandomAscii(rng, 12);
      if (round % 3 == 1 || rng() % 4 != 0) text.prepend(stem);
      TTreeNode* node = items.AddChild(parent, text);
      SetNodeIcon(node, static_cast<int>(rng() % (kNodeIconCount + 1)) - 1);
      if (rng() % 3 == 0) items.AddChild(node, QStringLiteral("child"));
    }
    std::vector<TTreeNode*> expected;
    for (int i = 0; i < parent->Count(); ++i) expected.push_back(parent->Item(i));
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
                          QString::fromLatin1("r\xe9sum\xe9"), "resume", "RESUME", Utf16(u"\u03a9")};
  const std::size_t asciiPool = 8;
  std::mt19937 rng(5);
  for (std::size_t round = 0; round < 80; ++round) {
    const std::size_t poolSize = round % 2 == 0 ? asciiPool : std::size(pool);
    std::vector<std::pair<NodeTextView, int>> added;
    order.Clear(SiblingOrder::Repeats::kDrop);
    for (std::size_t i = 0, count = round % 4 == 0 ? 300 + rng() % 200 : 1 + rng() % 60; i < count; ++i) {
      const QString& text = pool[rng() % poolSize];
      // A repeat is one whichever way either text is held; every other
      // round all texts are stored, and have weights.
      const bool stored = round % 2 == 0 || rng() % 2 == 0;
      const NodeTextView view = stored ? store.Store(QStringView(text)) : NodeTextView(QStringView(text));
      const int group = rng() % 4 == 0 ? 2 : 100;
      order.Add(view, group);
      added.emplace_back(view, group);
    }
    std::vector<std::pair<NodeTextView, int>> kept;
    for (const auto& text : added) {
      if (std::find(kept.begin(), kept.end(), text) == kept.end()) kept.push_back(text);
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
  const QString cafeUtf16 = Utf16(u"caf\u00e9");
  EXPECT_EQ(index.FindOrAdd(NodeTextView(QStringView(cafeUtf16)), NeverMade), existing);
  TTreeNode* other = otherIndex.FindOrAdd(NodeTextView(QLatin1StringView("x")), [&] { return items.AddChild(second, "x"); });
  EXPECT_EQ(otherIndex.FindOrAdd(NodeTextView(QStringView(u"x")), NeverMade), other);
  int made = 0;
  const auto make = [&] { return ++made == 1 ? items.AddChild(first, "unwanted") : nullptr; };
  index.FindOrAdd(NodeTextView(QLatin1StringView("unwanted")), make);  // an unwanted child is not indexed
  EXPECT_EQ(index.FindOrAdd(NodeTextView(QLatin1StringView("y")), make), nullptr);
  EXPECT_EQ(index.FindOrAdd(NodeTextView(QLatin1StringView("y")), make), nullptr);
  EXPECT_EQ(made, 3) << "a refused child is not indexed";
}

TEST(ChildTextIndex, EveryChildIsStillFoundAfterTheIndexGrew) {
  TTreeNodes items;
  TTreeNode* parent = items.AddChild(nullptr, QStringLiteral("parent"));
  for (std::size_t i = 0; i < 100; ++i) items.AddChild(parent, NumberedText("Existing", i));
  ChildTextIndex index(parent);
  index.AddExistingChildren([](const TTreeNode*) { return true; });
  for (std::size_t i = 0; i < 5000; ++i) {
    const std::string name = Numbered("Function", i);
    const QLatin1StringView text(name.data(), static_cast<qsizetype>(name.size()));
    index.FindOrAdd(NodeTextView(text), [&] { return items.AddChild(parent, text); });
  }
  ASSERT_EQ(parent->Count(), 5100);
  for (int i = 0; i < parent->Count(); ++i) {
    const QString text = parent->Item(i)->Text();
    ASSERT_EQ(index.FindOrAdd(NodeTextView(QStringView(text)), NeverMade), parent->Item(i)) << text.toStdString();
  }
}

}  // namespace
}  // namespace corvane
