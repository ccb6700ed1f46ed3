#pragma once

#include <QLineEdit>
#include <QString>
#include <algorithm>
#include <functional>
#include <optional>

class QLabel;

namespace oxtiva
{

// Reads an operator's number: the locale's decimal separator, or "." as instruments and
// most operators write it. False for anything else, including trailing characters.
bool ParseTypedDouble(const QString& aText, double& aValue);

// True when aValue lies within the limits that are set.
template <typename T>
bool WithinLimits(T aValue, std::optional<T> aMinimum, std::optional<T> aMaximum)
{
    if (aMinimum && aValue < *aMinimum) return false;
    if (aMaximum && aValue > *aMaximum) return false;
    return true;
}

// Why typed text is no number: "'2,5' is not a number (this computer writes decimals with
// '.')", naming the separator when the other one is the likely slip.
QString NotANumberReason(const QString& aText);
// "'20' lies outside 0.678 to 16", "'-1' lies below 0", "'99' lies above 10".
QString OutsideLimitsReason(const QString& aText, const QString& aMinimum, const QString& aMaximum);
// What an edit takes, for the operator: "Takes 0.678 to 16", "Takes above 0",
// "Takes above 0 up to 1"; empty without limits. Empty texts are no limit.
QString RangeDescription(const QString& aAbove, const QString& aMinimum, const QString& aMaximum);

// What every numeric edit of the window does with typing: an entry is taken on Return or
// when the edit loses focus. One that is refused shows the last good value again, so the
// text never shows a value that is not in force, and the edit is marked as not having taken
// it, with the reason in its tooltip, until the next value is taken.
class TNumericEdit : public QLineEdit
{
    Q_OBJECT

  public:
    explicit TNumericEdit(QWidget* parent);

    // "'2,5' not taken: …" after a refused entry, empty once a value is taken.
    const QString& NotTakenReason() const { return fNotTaken; }
    // A label beside the edit that shows why an entry was not taken, in words the operator
    // sees without pointing at the edit; hidden while the edit holds what was typed.
    void SetReasonLabel(QLabel* aLabel);
    QLabel* ReasonLabel() const { return fReasonLabel; }
    // What the edit takes, shown in its tooltip.
    virtual QString RangeText() const = 0;
    // The tooltip the edit has besides its range.
    void SetOwnToolTip(const QString& aText);

  signals:
    void notTakenChanged(const QString& reason);

  protected:
    void focusOutEvent(QFocusEvent* event) override;
    void ShowValue();
    void ClearNotTaken();
    void ShowRange();

    // Takes the typed text when it is a number within the limits; otherwise why not.
    virtual std::optional<QString> TakeTypedText(const QString& aText) = 0;
    virtual QString ValueText() const = 0;

  private:
    void CommitText();
    void MarkNotTaken(const QString& aReason);
    QString ToolTipWithRange() const;

    QString fNotTaken;
    QString fOwnToolTip;
    QLabel* fReasonLabel = nullptr;
};

// A numeric edit holding a value of type T between optional limits ("no limit" until
// set). Code that sets a value outside the limits gets it clamped, so the value always
// lies within them; a typed value outside them is refused. moc knows no templates, so each
// concrete edit declares its own valueChanged signal and emits it from NotifyValueChanged.
template <typename T> class TLimitedNumericEdit : public TNumericEdit
{
  public:
    T value() const { return fValue; }
    void setValue(T aValue)
    {
        if (!Representable(aValue)) {
            ShowValue();
            return;
        }
        const T clamped = Clamped(aValue);
        const bool changed = clamped != fValue;
        fValue = clamped;
        ClearNotTaken();
        ShowValue();
        if (changed) NotifyValueChanged(fValue);
    }

    std::optional<T> minimum() const { return fMinimum; }
    std::optional<T> maximum() const { return fMaximum; }
    void setMinimum(std::optional<T> aMinimum) { SetLimits(aMinimum, fMaximum); }
    void setMaximum(std::optional<T> aMaximum) { SetLimits(fMinimum, aMaximum); }
    void SetLimits(std::optional<T> aMinimum, std::optional<T> aMaximum)
    {
        fMinimum = aMinimum;
        fMaximum = aMaximum;
        setValue(fValue);
        ShowRange();
    }
    // A bound the value must lie above, not on: a mass or a duration of 0 means nothing.
    // Code may still set a value on it (a start value of 0 that says "not set").
    void SetAbove(std::optional<T> aBound)
    {
        fAbove = aBound;
        ShowRange();
    }
    std::optional<T> above() const { return fAbove; }
    // A further test of a typed value against the others it goes with: why it is refused,
    // or an empty text.
    void SetCheck(std::function<QString(T)> aCheck) { fCheck = std::move(aCheck); }

    // Why a value would be refused if typed, or nothing.
    std::optional<QString> Refusal(T aValue, const QString& aText) const
    {
        if (!WithinLimits(aValue, fMinimum, fMaximum))
            return OutsideLimitsReason(aText, fMinimum ? Format(*fMinimum) : QString(),
                                       fMaximum ? Format(*fMaximum) : QString());
        if (fAbove && !(aValue > *fAbove))
            return QStringLiteral("'%1' must lie above %2").arg(aText, Format(*fAbove));
        if (fCheck) {
            const QString why = fCheck(aValue);
            if (!why.isEmpty()) return QStringLiteral("'%1' %2").arg(aText, why);
        }
        return std::nullopt;
    }
    std::optional<QString> Refusal(T aValue) const { return Refusal(aValue, Format(aValue)); }

    QString RangeText() const override
    {
        return RangeDescription(fAbove ? Format(*fAbove) : QString(),
                                fMinimum ? Format(*fMinimum) : QString(),
                                fMaximum ? Format(*fMaximum) : QString());
    }

  protected:
    using TNumericEdit::TNumericEdit;

    virtual void NotifyValueChanged(T aValue) = 0;
    // A number the edit reads from the operator's text, or nothing.
    virtual std::optional<T> ParseTyped(const QString& aText) const = 0;
    virtual QString Format(T aValue) const = 0;
    // A value that code may set at all; refused ones leave the edit as it was.
    virtual bool Representable(T) const { return true; }
    virtual QString NotANumberText(const QString& aText) const { return NotANumberReason(aText); }

  private:
    std::optional<QString> TakeTypedText(const QString& aText) override
    {
        const std::optional<T> typed = ParseTyped(aText);
        if (!typed) return NotANumberText(aText);
        if (const std::optional<QString> why = Refusal(*typed, aText.trimmed())) return why;
        setValue(*typed);
        return std::nullopt;
    }
    QString ValueText() const override { return Format(fValue); }
    T Clamped(T aValue) const
    {
        if (fMinimum) aValue = std::max(aValue, *fMinimum);
        if (fMaximum) aValue = std::min(aValue, *fMaximum);
        return aValue;
    }

    T fValue{};
    std::optional<T> fMinimum;
    std::optional<T> fMaximum;
    std::optional<T> fAbove;
    std::function<QString(T)> fCheck;
};

// Real-number edit; the text shows the value in the general number format.
class TRtDoubleEdit : public TLimitedNumericEdit<double>
{
    Q_OBJECT
    Q_PROPERTY(double value READ value WRITE setValue NOTIFY valueChanged USER true)

  public:
    explicit TRtDoubleEdit(QWidget* parent = nullptr);

  signals:
    void valueChanged(double value);

  protected:
    void NotifyValueChanged(double aValue) override { emit valueChanged(aValue); }
    std::optional<double> ParseTyped(const QString& aText) const override;
    QString Format(double aValue) const override;
    bool Representable(double aValue) const override;
};

// Whole-number edit; a fractional entry is refused.
class TRtIntegerEdit : public TLimitedNumericEdit<int>
{
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged USER true)

  public:
    explicit TRtIntegerEdit(QWidget* parent = nullptr);

  signals:
    void valueChanged(int value);

  protected:
    void NotifyValueChanged(int aValue) override { emit valueChanged(aValue); }
    std::optional<int> ParseTyped(const QString& aText) const override;
    QString Format(int aValue) const override;
    QString NotANumberText(const QString& aText) const override;
};

} // namespace oxtiva
