#include "drop_files.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace corvane {
namespace {

// The drops whose handles may be read: created and neither finished nor
// gone. Only the GUI thread delivers drops.
std::unordered_set<const DropFiles*>& LiveDrops() {
  static std::unordered_set<const DropFiles*> drops;
  return drops;
}

template <typename Unit>
std::uint32_t CopyName(const Unit* name, std::size_t length, Unit* buffer, std::uint32_t size) {
  if (buffer == nullptr) return static_cast<std::uint32_t>(length);
  if (size == 0) return 0;
  const std::size_t copied = std::min<std::size_t>(length, size - 1);
  std::memcpy(buffer, name, copied * sizeof(Unit));
  buffer[copied] = Unit{0};
  return static_cast<std::uint32_t>(copied);
}

}  // namespace

const QStringList* DroppedNames(HDROP drop) {
  if (drop == nullptr || !LiveDrops().contains(drop)) return nullptr;
  return &drop->names_;
}

DropFiles::DropFiles(QStringList names) : names_(std::move(names)) { LiveDrops().insert(this); }

DropFiles::~DropFiles() { LiveDrops().erase(this); }

std::uint32_t DragQueryFileA(HDROP drop, std::uint32_t index, char* buffer, std::uint32_t size) {
  const QStringList* names = DroppedNames(drop);
  if (names == nullptr) return 0;
  if (index == kDragQueryFileCount) return static_cast<std::uint32_t>(names->size());
  if (index >= static_cast<std::uint32_t>(names->size())) return 0;
  const QByteArray name = names->at(index).toLocal8Bit();
  return CopyName(name.constData(), static_cast<std::size_t>(name.size()), buffer, size);
}

std::uint32_t DragQueryFileW(HDROP drop, std::uint32_t index, char16_t* buffer, std::uint32_t size) {
  const QStringList* names = DroppedNames(drop);
  if (names == nullptr) return 0;
  if (index == kDragQueryFileCount) return static_cast<std::uint32_t>(names->size());
  if (index >= static_cast<std::uint32_t>(names->size())) return 0;
  const QString& name = names->at(index);
  return CopyName(reinterpret_cast<const char16_t*>(name.utf16()), static_cast<std::size_t>(name.size()), buffer, size);
}

void DragFinish(HDROP drop) {
  if (DroppedNames(drop) == nullptr) return;
  LiveDrops().erase(drop);
  drop->names_.clear();
  drop->finished_ = true;
}

}  // namespace corvane
