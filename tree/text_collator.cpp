#include "text_collator.h"

#include <QLocale>

namespace corvane {
namespace {

QLocale CollationLocale() {
  const QLocale system = QLocale::system();
  if (system.language() == QLocale::C) return QLocale(QLocale::English, QLocale::UnitedStates);
  return system;
}

}  // namespace

TextCollator::TextCollator() : collator_(CollationLocale()) {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  collator_.setNumericMode(false);
  collator_.setIgnorePunctuation(false);
}

int TextCollator::Compare(const QString& a, const QString& b) const {
  const int result = collator_.compare(a, b);
  return (result > 0) - (result < 0);
}

}  // namespace corvane
