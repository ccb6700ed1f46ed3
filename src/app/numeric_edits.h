#pragma once

#include <QLineEdit>
#include <optional>

namespace oxtiva
{

// Numeric edits of the window. The text shows the value in the general number format;
// a typed entry is taken on Return or when the edit loses focus, and an entry that is
// not a number or lies outside the limits is refused: the edit shows its last good value
// again. Code that sets a value outside the limits gets it clamped, so the value always
// lies within the limits. Limits are absent ("no limit") until set.
class TRtDoubleEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(double value READ value WRITE setValue NOTIFY valueChanged USER true)

  public:
    explicit TRtDoubleEdit(QWidget* parent = nullptr);

    double value() const { return fValue; }
    void setValue(double aValue);

    std::optional<double> minimum() const { return fMinimum; }
    std::optional<double> maximum() const { return fMaximum; }
    void setMinimum(std::optional<double> aMinimum);
    void setMaximum(std::optional<double> aMaximum);
    void SetLimits(std::optional<double> aMinimum, std::optional<double> aMaximum);

  signals:
    void valueChanged(double value);

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void CommitText();
    void ShowValue();
    double Clamped(double aValue) const;

    double fValue = 0;
    std::optional<double> fMinimum;
    std::optional<double> fMaximum;
};

// Whole-number edit; the same rules as TRtDoubleEdit, and a fractional entry is refused.
class TRtIntegerEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged USER true)

  public:
    explicit TRtIntegerEdit(QWidget* parent = nullptr);

    int value() const { return fValue; }
    void setValue(int aValue);

    std::optional<int> minimum() const { return fMinimum; }
    std::optional<int> maximum() const { return fMaximum; }
    void setMinimum(std::optional<int> aMinimum);
    void setMaximum(std::optional<int> aMaximum);
    void SetLimits(std::optional<int> aMinimum, std::optional<int> aMaximum);

  signals:
    void valueChanged(int value);

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void CommitText();
    void ShowValue();
    int Clamped(int aValue) const;

    int fValue = 0;
    std::optional<int> fMinimum;
    std::optional<int> fMaximum;
};

// Reads an operator's number: the locale's decimal separator, or "." as instruments and
// most operators write it. False for anything else, including trailing characters.
bool ParseTypedDouble(const QString& aText, double& aValue);

// True when aValue lies within the limits that are set.
bool WithinLimits(double aValue, std::optional<double> aMinimum, std::optional<double> aMaximum);

} // namespace oxtiva
