#include "ZEL.EditFilter.h"

#include <QLineEdit>

#include <algorithm>

namespace ZEL {

TEditFilter::TEditFilter(QLineEdit* AEdit, bool (*AAllowed)(QChar), int AMaxLength)
    : QObject(AEdit), FEdit(AEdit), FAllowed(AAllowed), FMaxLength(AMaxLength), FLast(AEdit->text()) {
  // A user's edit reports textEdited before textChanged: FLast is still the old text then.
  connect(AEdit, &QLineEdit::textEdited, this, &TEditFilter::Edited);
  // The edit itself, not the signal's text: a correction made while an edit is reported is
  // followed by the report's own, older, textChanged.
  connect(AEdit, &QLineEdit::textChanged, this, [this] { FLast = FEdit->text(); });
}

QString TEditFilter::Filtered(const QString& AOld, const QString& ANew, bool (*AAllowed)(QChar), int AMaxLength,
                              int& ACursor) {
  // The added part lies between what old and new text share at their start and their end.
  const qsizetype LShorter = std::min(AOld.size(), ANew.size());
  qsizetype LHead = 0;
  while (LHead < LShorter && AOld[LHead] == ANew[LHead]) ++LHead;
  qsizetype LTail = 0;
  while (LTail < LShorter - LHead && AOld[AOld.size() - 1 - LTail] == ANew[ANew.size() - 1 - LTail]) ++LTail;
  QString LAdded;
  for (const QChar C : ANew.mid(LHead, ANew.size() - LHead - LTail))
    if (AAllowed(C)) LAdded.append(C);
  const QString LResult = ANew.left(LHead) + LAdded + ANew.right(LTail);
  if (AMaxLength > 0 && LResult.size() > AMaxLength && LResult.size() > AOld.size()) {
    ACursor = static_cast<int>(LHead);
    return AOld;
  }
  ACursor = static_cast<int>(LHead + LAdded.size());
  return LResult;
}

void TEditFilter::Edited(const QString& AText) {
  int LCursor = 0;
  const QString LResult = Filtered(FLast, AText, FAllowed, FMaxLength, LCursor);
  if (LResult == AText) return;
  FEdit->setText(LResult);
  FEdit->setCursorPosition(LCursor);
}

}  // namespace ZEL
