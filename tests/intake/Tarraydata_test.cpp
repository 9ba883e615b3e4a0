// The pointer array behind the handler list: capacity moving in steps of
// eight, zero-filled slots, ownership of records, and the result values for
// indexes out of range.

#include "Tarraydata.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <vector>

#include "heap_usage.h"

namespace corvane {
namespace {

// Distinct non-null values for arrays that do not own what they hold.
void* Value(int n) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1000 + 16 * n)); }

std::vector<void*> Contents(const TArrayData& array) {
  std::vector<void*> contents;
  for (int index = 0; index < array.Count(); ++index) contents.push_back(array.Get(index));
  return contents;
}

// Whether the slots from Count up to `oldCount` (those just vacated, as far
// as the capacity still reaches) hold zero.
bool VacatedSlotsAreZero(const TArrayData& array, int oldCount) {
  const auto* slots = static_cast<void* const*>(array.Block().Data());
  for (int index = array.Count(); index < oldCount && index < array.Capacity(); ++index) {
    if (slots[index] != nullptr) return false;
  }
  return true;
}

TEST(TArrayDataTest, CapacityGrowsAndShrinksInStepsOfEightAndTheLastRemovalFreesTheMemory) {
  TArrayData array(false);
  EXPECT_EQ(array.Get(0), nullptr);
  EXPECT_EQ(array.IndexOf(nullptr), -1);
  struct Step {
    int count;
    int capacity;
  };
  const Step steps[] = {{1, 8}, {8, 8}, {9, 16}, {17, 24}, {16, 16}, {15, 16}, {9, 16}, {8, 8}, {1, 8}, {0, 0}};
  for (const Step& step : steps) {
    const int oldCount = array.Count();
    for (int index = oldCount; index < step.count; ++index) ASSERT_EQ(array.Add(Value(index)), index);
    for (int index = oldCount - 1; index >= step.count; --index) ASSERT_TRUE(array.RemoveAt(index));
    EXPECT_EQ(array.Capacity(), step.capacity) << "at count " << step.count;
    EXPECT_EQ(array.Block().Size(), step.capacity * static_cast<int>(sizeof(void*))) << "at count " << step.count;
    EXPECT_TRUE(VacatedSlotsAreZero(array, oldCount)) << "at count " << step.count;
  }
  EXPECT_EQ(array.Block().Data(), nullptr);
}

TEST(TArrayDataTest, RemoveAndDeleteKeepTheOrderAndRefuseWhatIsNotThere) {
  TArrayData array(false);
  for (void* value : {Value(1), Value(2), Value(1), Value(3)}) array.Add(value);
  EXPECT_TRUE(array.Remove(Value(1)));
  EXPECT_FALSE(array.Remove(Value(9)));
  EXPECT_EQ(Contents(array), (std::vector<void*>{Value(2), Value(1), Value(3)})) << "the first occurrence went";

  struct Case {
    int index;
    int n;
    bool result;
    std::vector<int> remaining;
  };
  const Case cases[] = {
      {2, 5, true, {0, 1}},  {1, 2, true, {0, 3}},       {0, 4, true, {}},
      {3, 1, true, {0, 1, 2}}, {4, 1, false, {0, 1, 2, 3}}, {-1, 1, false, {0, 1, 2, 3}},
      {1, 0, true, {0, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    TArrayData deleting(false);
    for (int n = 0; n < 4; ++n) deleting.Add(Value(n));
    EXPECT_EQ(deleting.Delete(c.index, c.n), c.result) << "Delete(" << c.index << ", " << c.n << ")";
    std::vector<void*> expected;
    for (int n : c.remaining) expected.push_back(Value(n));
    EXPECT_EQ(Contents(deleting), expected) << "Delete(" << c.index << ", " << c.n << ")";
    EXPECT_TRUE(VacatedSlotsAreZero(deleting, 4));
  }
}

TEST(TArrayDataTest, IndexesAndCountsOutOfRangeGiveNullFalseOrMinusOneAndChangeNothing) {
  TArrayData array(true);
  array.Add(nullptr);
  array.Add(nullptr);
  for (int index : {-1, 2, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(array.Get(index), nullptr) << index;
    EXPECT_FALSE(array.RemoveAt(index)) << index;
    array.ReleaseElements(index, 1);
  }
  for (std::int32_t n : {0, -1, std::numeric_limits<std::int32_t>::max()}) EXPECT_EQ(array.Grow(n), nullptr) << n;
  EXPECT_EQ(array.Count(), 2);
  EXPECT_EQ(array.Capacity(), 8);
  EXPECT_FALSE(TArrayData(false).Truncate(1)) << "nothing to truncate";
  EXPECT_EQ(TArray(0, 8).Grow(1), nullptr) << "elements without size";
  EXPECT_EQ(TArray(4, 0).Grow(1), nullptr) << "no growth step";
}

// Records big enough that giving one back shows in the heap's byte count
// above any bookkeeping of the array itself.
constexpr long long kRecordBytes = 8192;
long long BytesFreedSince(std::size_t before) {
  return static_cast<long long>(before) - static_cast<long long>(testing::HeapBytesInUse());
}

TEST(TArrayDataTest, AnOwningArrayGivesEachRecordBackOnceAndANonOwningOneLeavesThemAlone) {
  void* kept = std::calloc(1, kRecordBytes);
  const std::size_t start = testing::HeapBytesInUse();
  {
    TArrayData array(true);
    for (int n = 0; n < 4; ++n) array.Add(std::malloc(kRecordBytes));
    array.Add(nullptr);
    const std::size_t before = testing::HeapBytesInUse();
    ASSERT_TRUE(array.RemoveAt(0));
    EXPECT_GE(BytesFreedSince(before), kRecordBytes);
    array.ReleaseElements(1, 100);
    EXPECT_GE(BytesFreedSince(before), 3 * kRecordBytes);
    EXPECT_EQ(array.Count(), 4) << "released slots stay in the array";
    EXPECT_EQ(array.Get(1), nullptr);

    TArrayData borrowing(false);
    borrowing.Add(kept);
    const std::size_t held = testing::HeapBytesInUse();
    borrowing.RemoveAt(0);
    EXPECT_LT(BytesFreedSince(held), kRecordBytes) << "not the array's to give back";
  }
  EXPECT_GT(BytesFreedSince(start), -kRecordBytes) << "no record is left behind";
  static_cast<char*>(kept)[kRecordBytes - 1] = 1;  // still ours: the sanitizers object otherwise
  std::free(kept);
}

}  // namespace
}  // namespace corvane
