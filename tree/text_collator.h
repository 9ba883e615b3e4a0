#pragma once

// Case-insensitive, linguistic comparison of node texts in the user's
// locale. Under the C/POSIX locale, where Qt would compare code points,
// English collation is used instead, so the order is linguistic everywhere.

#include <QCollator>
#include <QString>

namespace corvane {

class TextCollator {
 public:
  TextCollator();
  // -1, 0 or 1.
  int Compare(const QString& a, const QString& b) const;

 private:
  QCollator collator_;
};

}  // namespace corvane
