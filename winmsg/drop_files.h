#pragma once

// The names of files dropped from the file manager, handed to a window as
// one WM_DROPFILES message whose WParam is a drop handle. The handle is read
// with DragQueryFileA/W and given back with DragFinish. A handle is valid
// from the creation of its DropFiles until DragFinish or the DropFiles'
// end; the query functions check it, so a finished, stale or made-up handle
// reads as a drop of no files instead of reaching freed memory.

#include <QStringList>

#include <cstdint>

#include "window_messages.h"

namespace corvane {

class DropFiles;
using HDROP = DropFiles*;

// Asks DragQueryFileA/W for the number of files instead of a name.
inline constexpr std::uint32_t kDragQueryFileCount = 0xFFFFFFFF;

// One drop, owned by whoever delivers it.
class DropFiles {
 public:
  explicit DropFiles(QStringList names);
  ~DropFiles();
  // The address is the handle.
  DropFiles(const DropFiles&) = delete;
  DropFiles& operator=(const DropFiles&) = delete;

  HDROP Handle() { return this; }
  WPARAM AsWParam() { return reinterpret_cast<WPARAM>(this); }
  // Whether DragFinish was called on the handle.
  bool Finished() const { return finished_; }

 private:
  friend const QStringList* DroppedNames(HDROP drop);
  friend void DragFinish(HDROP drop);

  QStringList names_;
  bool finished_ = false;
};

// The names of a live drop; null for a handle that is not live.
const QStringList* DroppedNames(HDROP drop);

// The drop handle a WM_DROPFILES message carries.
inline HDROP DropHandleOf(const TMessage& message) { return reinterpret_cast<HDROP>(message.WParam); }

// With `index` kDragQueryFileCount: the number of files. Else, for file
// `index`: with a null `buffer` the length of its name; otherwise copies at
// most `size` - 1 units of the name and a terminating NUL into `buffer` and
// returns the number of units copied. 0 for an index past the last file and
// for a handle that is not live. The A form gives the name in the locale's
// 8-bit encoding, the W form in UTF-16.
std::uint32_t DragQueryFileA(HDROP drop, std::uint32_t index, char* buffer, std::uint32_t size);
std::uint32_t DragQueryFileW(HDROP drop, std::uint32_t index, char16_t* buffer, std::uint32_t size);

// Gives the handle back; it reads as empty afterwards.
void DragFinish(HDROP drop);

}  // namespace corvane
