#include "app/window/numeric_edits.h"

#include "records/number_format.h"

#include <QFocusEvent>
#include <QLabel>
#include <QToolTip>
#include <cmath>
#include <limits>

namespace oxtiva
{

bool ParseTypedDouble(const QString& aText, double& aValue)
{
    const QString text = aText.trimmed();
    if (text.isEmpty()) return false;
    double parsed = 0;
    if (!ParseLocaleDouble(text, parsed) && !ParseScpiDouble(text, parsed)) return false;
    if (!std::isfinite(parsed)) return false;
    aValue = parsed;
    return true;
}

QString NotANumberReason(const QString& aText)
{
    const QString text = aText.trimmed();
    QString reason = QStringLiteral("'%1' is not a number").arg(text);
    const QChar separator = LocaleDecimalSeparator();
    const QChar other = separator == QLatin1Char('.') ? QLatin1Char(',') : QLatin1Char('.');
    QString swapped = text;
    swapped.replace(other, separator);
    double value = 0;
    if (swapped != text && ParseLocaleDouble(swapped, value))
        reason += QStringLiteral(" (this computer writes decimals with '") + separator +
                  QStringLiteral("')");
    return reason;
}

QString OutsideLimitsReason(const QString& aText, const QString& aMinimum, const QString& aMaximum)
{
    if (aMaximum.isEmpty()) return QStringLiteral("'%1' lies below %2").arg(aText, aMinimum);
    if (aMinimum.isEmpty()) return QStringLiteral("'%1' lies above %2").arg(aText, aMaximum);
    return QStringLiteral("'%1' lies outside %2 to %3").arg(aText, aMinimum, aMaximum);
}

QString RangeDescription(const QString& aAbove, const QString& aMinimum, const QString& aMaximum)
{
    QString lower;
    if (!aAbove.isEmpty())
        lower = QStringLiteral("above ") + aAbove;
    else if (!aMinimum.isEmpty() && !aMaximum.isEmpty())
        return QStringLiteral("Takes %1 to %2").arg(aMinimum, aMaximum);
    else if (!aMinimum.isEmpty())
        lower = QStringLiteral("%1 or more").arg(aMinimum);
    if (aMaximum.isEmpty())
        return lower.isEmpty() ? QString() : QStringLiteral("Takes ") + lower;
    if (lower.isEmpty()) return QStringLiteral("Takes up to ") + aMaximum;
    return QStringLiteral("Takes %1 up to %2").arg(lower, aMaximum);
}

// ---- TNumericEdit ----

TNumericEdit::TNumericEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::editingFinished, this, &TNumericEdit::CommitText);
}

void TNumericEdit::focusOutEvent(QFocusEvent* event)
{
    CommitText();
    QLineEdit::focusOutEvent(event);
}

void TNumericEdit::CommitText()
{
    const QString typed = text();
    // Leaving an edit that shows its value unchanged is no entry; typing the value in force
    // over a refused entry takes that value, and so answers the refusal.
    if (typed == ValueText()) {
        if (isModified()) ClearNotTaken();
        setModified(false);
        return;
    }
    setModified(false);
    if (const std::optional<QString> reason = TakeTypedText(typed)) {
        ShowValue();
        MarkNotTaken(*reason);
    }
}

void TNumericEdit::SetReasonLabel(QLabel* aLabel)
{
    fReasonLabel = aLabel;
    fReasonLabel->setObjectName(objectName() + QStringLiteral("Reason"));
    fReasonLabel->setWordWrap(true);
    fReasonLabel->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    fReasonLabel->setText(fNotTaken);
    fReasonLabel->setVisible(!fNotTaken.isEmpty());
}

void TNumericEdit::SetOwnToolTip(const QString& aText)
{
    fOwnToolTip = aText;
    if (fNotTaken.isEmpty()) setToolTip(ToolTipWithRange());
}

void TNumericEdit::ShowRange()
{
    if (fNotTaken.isEmpty()) setToolTip(ToolTipWithRange());
}

QString TNumericEdit::ToolTipWithRange() const
{
    const QString range = RangeText();
    if (range.isEmpty() || fOwnToolTip.isEmpty()) return fOwnToolTip + range;
    return fOwnToolTip + QLatin1Char('\n') + range;
}

// The text goes back to the value in force, so the mark is what tells the operator that
// the entry was refused, and why: in the label beside the edit, which stays until a value
// is taken, and in the tooltip.
void TNumericEdit::MarkNotTaken(const QString& aReason)
{
    fNotTaken = QStringLiteral("Not taken: ") + aReason;
    const QString rest = ToolTipWithRange();
    setToolTip(rest.isEmpty() ? fNotTaken : fNotTaken + QLatin1Char('\n') + rest);
    setStyleSheet(QStringLiteral("QLineEdit { background: #ffd6d6; }"));
    if (fReasonLabel) {
        fReasonLabel->setText(fNotTaken);
        fReasonLabel->show();
    } else if (isVisible()) {
        QToolTip::showText(mapToGlobal(rect().bottomLeft()), fNotTaken, this);
    }
    emit notTakenChanged(fNotTaken);
}

void TNumericEdit::ClearNotTaken()
{
    if (fNotTaken.isEmpty()) return;
    fNotTaken.clear();
    setToolTip(ToolTipWithRange());
    setStyleSheet(QString());
    if (fReasonLabel) {
        fReasonLabel->clear();
        fReasonLabel->hide();
    }
    emit notTakenChanged(fNotTaken);
}

void TNumericEdit::ShowValue()
{
    const QString shown = ValueText();
    if (text() != shown) setText(shown);
}

// ---- TRtDoubleEdit ----

TRtDoubleEdit::TRtDoubleEdit(QWidget* parent) : TLimitedNumericEdit<double>(parent)
{
    ShowValue();
    ShowRange();
}

std::optional<double> TRtDoubleEdit::ParseTyped(const QString& aText) const
{
    double typed = 0;
    if (!ParseTypedDouble(aText, typed)) return std::nullopt;
    return typed;
}

QString TRtDoubleEdit::Format(double aValue) const
{
    return FormatGeneral(aValue);
}

bool TRtDoubleEdit::Representable(double aValue) const
{
    return std::isfinite(aValue);
}

// ---- TRtIntegerEdit ----

TRtIntegerEdit::TRtIntegerEdit(QWidget* parent) : TLimitedNumericEdit<int>(parent)
{
    ShowValue();
    ShowRange();
}

std::optional<int> TRtIntegerEdit::ParseTyped(const QString& aText) const
{
    bool ok = false;
    const long long typed = aText.trimmed().toLongLong(&ok);
    if (!ok || typed < std::numeric_limits<int>::min() || typed > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(typed);
}

QString TRtIntegerEdit::Format(int aValue) const
{
    return QString::number(aValue);
}

QString TRtIntegerEdit::NotANumberText(const QString& aText) const
{
    return QStringLiteral("'%1' is not a whole number").arg(aText.trimmed());
}

} // namespace oxtiva
