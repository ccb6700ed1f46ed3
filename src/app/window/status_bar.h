#pragma once

#include "control/modes.h"

#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>

class QStatusBar;

namespace oxtiva
{

// Indices into the status pictures: a bad state, one that asks for a look, a good state.
inline constexpr int PictureBad = 0;
inline constexpr int PictureWarning = 1;
inline constexpr int PictureGood = 2;

struct TStatusText {
    QString Text;
    int Picture = PictureBad;
};

// The pane texts, as pure functions of what the panes show.
TStatusText InstrumentStatus(TProgramState aState);
TStatusText TemperatureStatus(double aCellTemperature);
// The same once the newest reading is aSecondsOld while the multimeter should be read: older
// than aStaleAfter seconds, it is no longer the cell's temperature, and the lamp says so.
TStatusText TemperatureStatus(double aCellTemperature, double aSecondsOld, double aStaleAfter);
// aLastRCCell: the RC pO2 cell of the grid's last row (empty for a state row).
QString RelativeChangeStatus(TProgramState aState, double aRCDuration, const QString& aLastRCCell);
// aStepLines: the lines of the step program list.
QString StepStatus(TProgramState aState, int aStepIndex, const QStringList& aStepLines);

// The window's picture list: entry 0 a red disc (bad), 1 an amber disc, 2 a green disc (good).
const std::array<QPixmap, 3>& StatusPictures();

// A status pane with a picture before its text.
class TGlyphStatusPane : public QWidget
{
    Q_OBJECT

  public:
    explicit TGlyphStatusPane(const QString& aText, int aPicture, QWidget* parent = nullptr);

    void SetStatus(const TStatusText& aStatus);
    // A long text breaks into lines at the width the pane is given instead of widening it.
    void WrapText();
    QString Text() const { return fText->text(); }
    int Picture() const { return fPicture; }

  private:
    QLabel* fPictureLabel;
    QLabel* fText;
    int fPicture = PictureBad;
};

} // namespace oxtiva
