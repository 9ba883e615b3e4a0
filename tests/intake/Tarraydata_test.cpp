// The pointer array behind the handler list: capacity moving in steps of
// eight, the memory it holds, zero-filled slots, ownership of records, and
// the result values for indexes out of range.

#include "Tarraydata.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "heap_usage.h"

namespace corvane {
namespace {

using testing::HeapBytesInUse;

// Records big enough that giving one back shows in the heap's byte count
// above any bookkeeping of the array itself.
constexpr std::size_t kRecordSize = 8192;

void* NewRecord() { return std::malloc(kRecordSize); }

// How many bytes were given back to the heap since `before`; negative when
// more were taken.
long long BytesFreedSince(std::size_t before) {
  return static_cast<long long>(before) - static_cast<long long>(HeapBytesInUse());
}
constexpr long long kRecordBytes = static_cast<long long>(kRecordSize);

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

TEST(TArrayDataTest, ANewArrayHoldsNothingAndNoMemory) {
  TArrayData array(false);
  EXPECT_EQ(array.Count(), 0);
  EXPECT_EQ(array.Capacity(), 0);
  EXPECT_EQ(array.Block().Data(), nullptr);
  EXPECT_EQ(array.Block().Size(), 0);
  EXPECT_EQ(array.Get(0), nullptr);
  EXPECT_EQ(array.IndexOf(Value(1)), -1);
  EXPECT_EQ(array.IndexOf(nullptr), -1);
}

TEST(TArrayDataTest, AddsGrowCapacityInStepsOfEightPointers) {
  TArrayData array(false);
  for (int n = 1; n <= 17; ++n) {
    EXPECT_EQ(array.Add(Value(n)), n - 1);
    const int expectedCapacity = (n + 7) / 8 * 8;
    EXPECT_EQ(array.Capacity(), expectedCapacity) << "after " << n << " adds";
    EXPECT_EQ(array.Block().Size(), expectedCapacity * static_cast<int>(sizeof(void*)));
  }
  EXPECT_EQ(array.Get(8), Value(9));
}

TEST(TArrayDataTest, RemovalsNeverLeaveEightOrMoreSpareSlots) {
  TArrayData array(false);
  for (int n = 0; n < 17; ++n) array.Add(Value(n));
  struct Step {
    int countAfter;
    int capacityAfter;
  };
  // From 17 elements in 24 slots, removing the last one at a time.
  const Step steps[] = {{16, 16}, {15, 16}, {9, 16}, {8, 8}, {7, 8}, {1, 8}, {0, 0}};
  for (const Step& step : steps) {
    const int oldCount = array.Count();
    while (array.Count() > step.countAfter) ASSERT_TRUE(array.RemoveAt(array.Count() - 1));
    EXPECT_EQ(array.Capacity(), step.capacityAfter) << "at count " << step.countAfter;
    EXPECT_EQ(array.Block().Size(), step.capacityAfter * static_cast<int>(sizeof(void*)));
    EXPECT_TRUE(VacatedSlotsAreZero(array, oldCount)) << "at count " << step.countAfter;
  }
  EXPECT_EQ(array.Block().Data(), nullptr) << "the last removal gives the memory back";
}

TEST(TArrayDataTest, RemoveTakesTheFirstOccurrenceAndKeepsTheOrder) {
  TArrayData array(false);
  for (void* value : {Value(1), Value(2), Value(1), Value(3)}) array.Add(value);

  EXPECT_TRUE(array.Remove(Value(1)));
  EXPECT_EQ(Contents(array), (std::vector<void*>{Value(2), Value(1), Value(3)}));

  EXPECT_FALSE(array.Remove(Value(9)));
  EXPECT_EQ(Contents(array), (std::vector<void*>{Value(2), Value(1), Value(3)}));
  EXPECT_EQ(array.IndexOf(Value(3)), 2);
}

TEST(TArrayDataTest, DeleteRemovesUpToTheEndAndRefusesIndexesOutsideTheArray) {
  struct Case {
    int index;
    int n;
    bool result;
    std::vector<int> remaining;
  };
  const Case cases[] = {
      {2, 5, true, {0, 1}},          // past the end: removes to the end
      {1, 2, true, {0, 3}},          // the later elements move down
      {0, 4, true, {}},              // everything
      {3, 1, true, {0, 1, 2}},       // the last one
      {4, 1, false, {0, 1, 2, 3}},   // no element 4
      {-1, 1, false, {0, 1, 2, 3}},  // no element -1
      {1, 0, true, {0, 1, 2, 3}},    // nothing to remove
      {1, -2, true, {0, 1, 2, 3}},   // a negative count removes nothing
  };
  for (const Case& c : cases) {
    TArrayData array(false);
    for (int n = 0; n < 4; ++n) array.Add(Value(n));
    EXPECT_EQ(array.Delete(c.index, c.n), c.result) << "Delete(" << c.index << ", " << c.n << ")";
    std::vector<void*> expected;
    for (int n : c.remaining) expected.push_back(Value(n));
    EXPECT_EQ(Contents(array), expected) << "Delete(" << c.index << ", " << c.n << ")";
    if (!expected.empty()) {
      EXPECT_TRUE(VacatedSlotsAreZero(array, 4));
    }
  }
}

TEST(TArrayDataTest, IndexesOutsideTheArrayGiveNullFalseOrMinusOne) {
  TArrayData array(true);
  array.Add(nullptr);
  array.Add(nullptr);
  for (int index : {-1, 2, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(array.ItemPtr(index), nullptr) << index;
    EXPECT_EQ(array.Get(index), nullptr) << index;
    EXPECT_FALSE(array.RemoveAt(index)) << index;
    array.ReleaseElements(index, 1);
  }
  EXPECT_EQ(array.Count(), 2);
  EXPECT_FALSE(TArrayData(false).RemoveAt(0));
  EXPECT_FALSE(TArrayData(false).Truncate(1)) << "nothing to truncate";
}

TEST(TArrayTest, GrowRefusesCountsItCannotHoldAndChangesNothing) {
  TArray array(4, 8);
  ASSERT_NE(array.Grow(3), nullptr);
  for (std::int32_t n : {0, -1, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max() - 3,
                         std::numeric_limits<std::int32_t>::max() / 4}) {
    EXPECT_EQ(array.Grow(n), nullptr) << n;
    EXPECT_EQ(array.Count(), 3);
    EXPECT_EQ(array.Capacity(), 8);
  }
  EXPECT_EQ(TArray(0, 8).Grow(1), nullptr) << "elements without size";
  EXPECT_EQ(TArray(4, 0).Grow(1), nullptr) << "no growth step";
}

TEST(TArrayTest, SlotsHandedOutAgainAreZeroEvenAfterHoldingData) {
  TArray array(3, 4);
  auto* first = static_cast<unsigned char*>(array.Grow(6));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(array.Capacity(), 8);
  EXPECT_EQ(array.Block().Size(), 24);
  std::memset(first, 0xAB, 6 * 3);

  ASSERT_TRUE(array.Truncate(1));
  EXPECT_EQ(array.Count(), 5);
  EXPECT_EQ(array.Capacity(), 8) << "three spare slots are fewer than a step of four";
  ASSERT_TRUE(array.Truncate(1));
  EXPECT_EQ(array.Capacity(), 4) << "four spare slots make a step";
  EXPECT_EQ(array.Block().Size(), 12);
  auto* again = static_cast<unsigned char*>(array.Grow(2));
  ASSERT_NE(again, nullptr);
  for (int byte = 0; byte < 2 * 3; ++byte) EXPECT_EQ(again[byte], 0) << byte;
  EXPECT_EQ(static_cast<unsigned char*>(array.ItemPtr(3))[0], 0xAB) << "kept elements keep their bytes";
}

TEST(TArrayTest, TruncatingEverythingOrANegativeCountReleasesTheMemory) {
  for (std::int32_t n : {5, 9, -1}) {
    TArray array(2, 4);
    array.Grow(5);
    EXPECT_TRUE(array.Truncate(n)) << n;
    EXPECT_EQ(array.Count(), 0) << n;
    EXPECT_EQ(array.Capacity(), 0) << n;
    EXPECT_EQ(array.Block().Data(), nullptr) << n;
  }
}

// A block whose memory can be refused, to see that a refusal changes nothing.
class RefusingVoid final : public TVoid {
 public:
  ~RefusingVoid() { SetSize(0); }
  bool refuse = false;
  int requests = 0;

 protected:
  void* Allocate(std::size_t bytes) override {
    ++requests;
    return refuse ? nullptr : TVoid::Allocate(bytes);
  }
  void* Reallocate(void* pointer, std::size_t bytes) override {
    ++requests;
    return refuse ? nullptr : TVoid::Reallocate(pointer, bytes);
  }
};

TEST(TVoidTest, ARefusedResizeKeepsTheBlockAsItWas) {
  RefusingVoid block;
  block.refuse = true;
  EXPECT_FALSE(block.SetSize(16));
  EXPECT_EQ(block.Size(), 0);
  EXPECT_EQ(block.Data(), nullptr);

  block.refuse = false;
  ASSERT_TRUE(block.SetSize(16));
  void* data = block.Data();
  block.refuse = true;
  EXPECT_FALSE(block.SetSize(4096));
  EXPECT_EQ(block.Size(), 16);
  EXPECT_EQ(block.Data(), data);

  EXPECT_FALSE(block.SetSize(-8)) << "a negative size is no size";
  EXPECT_EQ(block.Size(), 16);
  const int requests = block.requests;
  EXPECT_TRUE(block.SetSize(16));
  EXPECT_EQ(block.requests, requests) << "the same size asks for nothing";
  EXPECT_TRUE(block.SetSize(0)) << "releasing memory cannot be refused";
  EXPECT_EQ(block.Data(), nullptr);
}

TEST(TArrayDataTest, RemovingAnOwnedElementGivesItsRecordBack) {
  TArrayData array(true);
  array.Add(NewRecord());
  array.Add(NewRecord());
  const std::size_t before = HeapBytesInUse();
  ASSERT_TRUE(array.RemoveAt(0));
  EXPECT_GE(BytesFreedSince(before), kRecordBytes);
  ASSERT_TRUE(array.Remove(array.Get(0)));
  EXPECT_GE(BytesFreedSince(before), 2 * kRecordBytes);
}

TEST(TArrayDataTest, ANonOwningArrayLeavesRecordsAlone) {
  void* record = NewRecord();
  {
    TArrayData array(false);
    array.Add(record);
    array.Add(record);
    const std::size_t before = HeapBytesInUse();
    array.RemoveAt(0);
    array.ReleaseElements(0, 1);
    EXPECT_LT(BytesFreedSince(before), kRecordBytes);
    EXPECT_EQ(array.Get(0), record);
  }
  std::memset(record, 0, kRecordSize);  // still ours: the sanitizers object otherwise
  std::free(record);
}

TEST(TArrayDataTest, DestroyingAnOwningArrayGivesEachRecordBackOnceAndSkipsNullSlots) {
  const std::size_t start = HeapBytesInUse();
  {
    TArrayData array(true);
    array.Add(NewRecord());
    array.Add(nullptr);
    array.Add(NewRecord());
    array.Add(NewRecord());
    array.ReleaseElements(2, 1);
    EXPECT_EQ(array.Count(), 4) << "released slots stay in the array";
    EXPECT_EQ(array.Get(2), nullptr);
  }
  EXPECT_GT(BytesFreedSince(start), -kRecordBytes) << "no record is left behind";
}

TEST(TArrayDataTest, ReleaseElementsStopsAtTheEnd) {
  TArrayData array(true);
  for (int n = 0; n < 3; ++n) array.Add(NewRecord());
  array.ReleaseElements(1, 100);
  EXPECT_NE(array.Get(0), nullptr);
  EXPECT_EQ(array.Get(1), nullptr);
  EXPECT_EQ(array.Get(2), nullptr);
  EXPECT_EQ(array.Count(), 3);
}

}  // namespace
}  // namespace corvane
