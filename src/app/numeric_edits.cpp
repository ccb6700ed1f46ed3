#include "app/numeric_edits.h"

#include "records/number_format.h"

#include <QFocusEvent>
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
    if (!TakeTypedText(text())) ShowValue();
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

} // namespace oxtiva
