#pragma once

#include <QLineEdit>
#include <QString>
#include <algorithm>
#include <optional>

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

// What every numeric edit of the window does with typing: an entry is taken on Return or
// when the edit loses focus. One that is refused shows the last good value again, so the
// text never shows a value that is not in force, and the edit is marked as not having taken
// it, with the reason in its tooltip, until the next value is taken.
class TNumericEdit : public QLineEdit
{
  public:
    explicit TNumericEdit(QWidget* parent);

    // "'2,5' not taken: …" after a refused entry, empty once a value is taken.
    const QString& NotTakenReason() const { return fNotTaken; }

  protected:
    void focusOutEvent(QFocusEvent* event) override;
    void ShowValue();
    void ClearNotTaken();

    // Takes the typed text when it is a number within the limits; otherwise why not.
    virtual std::optional<QString> TakeTypedText(const QString& aText) = 0;
    virtual QString ValueText() const = 0;

  private:
    void CommitText();
    void MarkNotTaken(const QString& aReason);

    QString fNotTaken;
    QString fOwnToolTip;
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
        if (!WithinLimits(*typed, fMinimum, fMaximum))
            return OutsideLimitsReason(aText.trimmed(), fMinimum ? Format(*fMinimum) : QString(),
                                       fMaximum ? Format(*fMaximum) : QString());
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
