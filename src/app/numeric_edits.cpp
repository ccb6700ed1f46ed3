#include "app/numeric_edits.h"

#include "records/number_format.h"

#include <QFocusEvent>
#include <algorithm>
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

bool WithinLimits(double aValue, std::optional<double> aMinimum, std::optional<double> aMaximum)
{
    if (aMinimum && aValue < *aMinimum) return false;
    if (aMaximum && aValue > *aMaximum) return false;
    return true;
}

namespace
{

template <typename T>
T ClampToLimits(T aValue, std::optional<T> aMinimum, std::optional<T> aMaximum)
{
    if (aMinimum) aValue = std::max(aValue, *aMinimum);
    if (aMaximum) aValue = std::min(aValue, *aMaximum);
    return aValue;
}

} // namespace

// ---- TRtDoubleEdit ----

TRtDoubleEdit::TRtDoubleEdit(QWidget* parent) : QLineEdit(parent)
{
    ShowValue();
    connect(this, &QLineEdit::editingFinished, this, &TRtDoubleEdit::CommitText);
}

void TRtDoubleEdit::setValue(double aValue)
{
    if (!std::isfinite(aValue)) {
        ShowValue();
        return;
    }
    const double clamped = Clamped(aValue);
    const bool changed = clamped != fValue;
    fValue = clamped;
    ShowValue();
    if (changed) emit valueChanged(fValue);
}

void TRtDoubleEdit::setMinimum(std::optional<double> aMinimum)
{
    SetLimits(aMinimum, fMaximum);
}

void TRtDoubleEdit::setMaximum(std::optional<double> aMaximum)
{
    SetLimits(fMinimum, aMaximum);
}

void TRtDoubleEdit::SetLimits(std::optional<double> aMinimum, std::optional<double> aMaximum)
{
    fMinimum = aMinimum;
    fMaximum = aMaximum;
    setValue(fValue);
}

void TRtDoubleEdit::focusOutEvent(QFocusEvent* event)
{
    CommitText();
    QLineEdit::focusOutEvent(event);
}

void TRtDoubleEdit::CommitText()
{
    double typed = 0;
    if (ParseTypedDouble(text(), typed) && WithinLimits(typed, fMinimum, fMaximum))
        setValue(typed);
    else
        ShowValue();
}

void TRtDoubleEdit::ShowValue()
{
    const QString shown = FormatGeneral(fValue);
    if (text() != shown) setText(shown);
}

double TRtDoubleEdit::Clamped(double aValue) const
{
    return ClampToLimits(aValue, fMinimum, fMaximum);
}

// ---- TRtIntegerEdit ----

TRtIntegerEdit::TRtIntegerEdit(QWidget* parent) : QLineEdit(parent)
{
    ShowValue();
    connect(this, &QLineEdit::editingFinished, this, &TRtIntegerEdit::CommitText);
}

void TRtIntegerEdit::setValue(int aValue)
{
    const int clamped = Clamped(aValue);
    const bool changed = clamped != fValue;
    fValue = clamped;
    ShowValue();
    if (changed) emit valueChanged(fValue);
}

void TRtIntegerEdit::setMinimum(std::optional<int> aMinimum)
{
    SetLimits(aMinimum, fMaximum);
}

void TRtIntegerEdit::setMaximum(std::optional<int> aMaximum)
{
    SetLimits(fMinimum, aMaximum);
}

void TRtIntegerEdit::SetLimits(std::optional<int> aMinimum, std::optional<int> aMaximum)
{
    fMinimum = aMinimum;
    fMaximum = aMaximum;
    setValue(fValue);
}

void TRtIntegerEdit::focusOutEvent(QFocusEvent* event)
{
    CommitText();
    QLineEdit::focusOutEvent(event);
}

void TRtIntegerEdit::CommitText()
{
    bool ok = false;
    const long long typed = text().trimmed().toLongLong(&ok);
    const bool inRange =
        ok && typed >= std::numeric_limits<int>::min() && typed <= std::numeric_limits<int>::max();
    if (inRange && WithinLimits(double(typed), fMinimum, fMaximum))
        setValue(int(typed));
    else
        ShowValue();
}

void TRtIntegerEdit::ShowValue()
{
    const QString shown = QString::number(fValue);
    if (text() != shown) setText(shown);
}

int TRtIntegerEdit::Clamped(int aValue) const
{
    return ClampToLimits(aValue, fMinimum, fMaximum);
}

} // namespace oxtiva
