#include "app/window/status_bar.h"

#include "records/number_format.h"

#include <QHBoxLayout>
#include <QPainter>

#include <cmath>

namespace oxtiva
{

namespace
{

constexpr double LowestSensorTemperature = 500;   // the sensor reads only above this
constexpr double HighestSensorTemperature = 1055; // and below this, in degrees Celsius

QString RCStatusPrefix(double aRCDuration)
{
    return QStringLiteral("Relative change (RC) last ") + FormatGeneral(aRCDuration) +
           QStringLiteral(" s: ");
}

bool ShowsRelativeChange(TProgramState aState)
{
    return aState == TProgramState::SetVoltage || aState == TProgramState::PIDSet ||
           aState == TProgramState::PIDStep;
}

QPixmap Disc(const QColor& aColor)
{
    constexpr int size = 16;
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(aColor.darker(150), 1));
    painter.setBrush(aColor);
    painter.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
    return picture;
}

} // namespace

TStatusText InstrumentStatus(TProgramState aState)
{
    if (aState != TProgramState::Uninitialized)
        return {QStringLiteral("Valid instruments"), PictureGood};
    return {QStringLiteral("Invalid instruments"), PictureBad};
}

TStatusText TemperatureStatus(double aCellTemperature)
{
    const QString text = QStringLiteral("T, ºC: 500 < ") + FormatFloat(u"0.0", aCellTemperature) +
                         QStringLiteral(" < 1055");
    const bool inRange =
        aCellTemperature > LowestSensorTemperature && aCellTemperature < HighestSensorTemperature;
    return {text, inRange ? PictureGood : PictureBad};
}

TStatusText TemperatureStatus(double aCellTemperature, double aSecondsOld, double aStaleAfter)
{
    TStatusText status = TemperatureStatus(aCellTemperature);
    if (!(aSecondsOld > aStaleAfter)) return status;
    status.Text += QStringLiteral(", no reading for %1 s").arg(std::floor(aSecondsOld), 0, 'f', 0);
    status.Picture = PictureWarning;
    return status;
}

QString RelativeChangeStatus(TProgramState aState, double aRCDuration, const QString& aLastRCCell)
{
    // The newest row has no value until the rows span the RC duration.
    if (ShowsRelativeChange(aState) && aLastRCCell.isEmpty())
        return RCStatusPrefix(aRCDuration) + QStringLiteral("not yet known");
    if (ShowsRelativeChange(aState))
        return RCStatusPrefix(aRCDuration) + aLastRCCell + QStringLiteral(" %");
    return RCStatusPrefix(aRCDuration) + QStringLiteral("Unknown");
}

QString StepStatus(TProgramState aState, int aStepIndex, const QStringList& aStepLines)
{
    if (aState == TProgramState::PIDStep && aStepIndex >= 0 && aStepIndex < aStepLines.size())
        return QStringLiteral("Mode: Step:") + aStepLines[aStepIndex].left(4);
    return QStringLiteral("Mode: ") + ProgramStateName(aState);
}

const std::array<QPixmap, 3>& StatusPictures()
{
    static const std::array<QPixmap, 3> pictures = {
        Disc(QColor(200, 30, 30)), Disc(QColor(230, 160, 20)), Disc(QColor(30, 160, 50))};
    return pictures;
}

TGlyphStatusPane::TGlyphStatusPane(const QString& aText, int aPicture, QWidget* parent)
    : QWidget(parent), fPictureLabel(new QLabel(this)), fText(new QLabel(aText, this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 6, 0);
    layout->setSpacing(4);
    layout->addWidget(fPictureLabel);
    layout->addWidget(fText);
    SetStatus({aText, aPicture});
}

void TGlyphStatusPane::WrapText()
{
    fText->setWordWrap(true);
    fText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout()->setAlignment(fPictureLabel, Qt::AlignTop);
}

void TGlyphStatusPane::SetStatus(const TStatusText& aStatus)
{
    fText->setText(aStatus.Text);
    fPicture = aStatus.Picture;
    const auto& pictures = StatusPictures();
    if (fPicture >= 0 && fPicture < int(pictures.size()))
        fPictureLabel->setPixmap(pictures[fPicture]);
}

} // namespace oxtiva
