#include "ship_list.h"

#include <algorithm>
#include <string_view>
#include <variant>

#include "mapped_file.h"
#include "pe_layout.h"

namespace corvane {
namespace {

// The DOS header's size: the stub follows it.
constexpr std::uint64_t kDosStubOffset = 0x40;
// Wine puts its mark at the stub's start; a stub is looked at no further
// than this, however far a file places its PE header.
constexpr std::uint64_t kStubLookedAt = 256;

bool FoundOutsideTheSystem(FoundIn step) {
  switch (step) {
    case FoundIn::kFileFolder:
    case FoundIn::kPathOption:
    case FoundIn::kProgramFolder:
    case FoundIn::kCurrentDirectory:
    case FoundIn::kPath:
      return true;
    case FoundIn::kNowhere:
    case FoundIn::kSystem:
    case FoundIn::kApiSet:
      return false;
  }
  return false;
}

bool FileIsMarkedAsWines(const std::string& path) {
  const auto mapping = MappedFile::Map(path);
  const auto* file = std::get_if<MappedFile>(&mapping);
  return file != nullptr && IsMarkedAsWines(file->View());
}

}  // namespace

bool IsMarkedAsWines(ByteView file) {
  const auto newHeader = file.Read<std::uint32_t>(pe::kDosNewHeaderOffset);
  if (!newHeader || *newHeader <= kDosStubOffset) return false;
  const auto stub = file.Sub(kDosStubOffset, std::min<std::uint64_t>(*newHeader - kDosStubOffset, kStubLookedAt));
  if (!stub) return false;
  const std::string_view text(reinterpret_cast<const char*>(stub->Data()), stub->Size());
  return text.find("Wine builtin DLL") != std::string_view::npos ||
         text.find("Wine placeholder DLL") != std::string_view::npos;
}

void ShipList::Add(const Closure& closure) {
  if (closure.modules.empty()) return;
  if (const auto& file = closure.modules.front().path) checked_.insert(*file);
  std::vector<bool> hosts(closure.modules.size());
  for (const ClosureModule& module : closure.modules) {
    if (module.host != kNoModule) hosts[module.host] = true;
  }
  for (std::size_t index = 1; index < closure.modules.size(); ++index) {
    const ClosureModule& module = closure.modules[index];
    if (!module.path || hosts[index] || !FoundOutsideTheSystem(module.foundIn)) continue;
    // Wherever else the same file turns up, it is the same file.
    if (seen_.insert(*module.path).second && !FileIsMarkedAsWines(*module.path)) found_.push_back(*module.path);
  }
}

std::vector<std::string> ShipList::Paths() const {
  std::vector<std::string> paths;
  std::copy_if(found_.begin(), found_.end(), std::back_inserter(paths),
               [this](const std::string& path) { return !checked_.contains(path); });
  return paths;
}

}  // namespace corvane
