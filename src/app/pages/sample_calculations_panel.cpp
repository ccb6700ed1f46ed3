#include "app/pages/sample_calculations_panel.h"

#include "app/main_window.h"
#include "app/window/numeric_edits.h"
#include "records/number_format.h"
#include "science/sample_calculations.h"

namespace oxtiva
{

TSampleCalculationsPanel::TSampleCalculationsPanel(TfrmOxtiva& aWindow)
    : QObject(&aWindow), fWindow(aWindow)
{
    TfrmOxtiva& w = fWindow;
    for (TRtDoubleEdit* input :
         {w.RtDoubleEditb0, w.RtDoubleEditM0, w.RtDoubleEditd, w.RtDoubleEditM, w.RtDoubleEditbs,
          w.RtDoubleEditmass0, w.RtDoubleEditSensorBx, w.RtDoubleEditSensorAx, w.RtDoubleEditVHPS,
          w.RtDoubleEditVgp, w.RtDoubleEditTl, w.RtDoubleEditPsO2, w.RtDoubleEditFGpO2,
          w.RtDoubleEditCTO})
        connect(input, &TRtDoubleEdit::valueChanged, this,
                &TSampleCalculationsPanel::RtDoubleEditbsValueChanged);
    CheckGasVolume();
}

namespace
{
// Empty when the hot part keeps some gas beside the sample; otherwise why not.
QString NoGasLeft(double aMass, double aDensity, double aVolumeWithoutSample)
{
    const TSampleResults r = SampleCalculations(aMass, aDensity, 1, 1, aVolumeWithoutSample);
    if (r.Vhp > 0) return {};
    return QStringLiteral("leaves no gas beside the sample: Vhp = Vhpws − Vs = %1 − %2 = %3 L")
        .arg(FormatGeneral(aVolumeWithoutSample), FormatGeneral(r.Vs), FormatGeneral(r.Vhp));
}
} // namespace

// The sample takes room in the hot part: its mass, its density and the volume without it
// must leave a gas volume, or the balance divides by a volume of nothing or less.
void TSampleCalculationsPanel::CheckGasVolume()
{
    TfrmOxtiva& w = fWindow;
    w.RtDoubleEditmass0->SetCheck([&w](double mass) {
        return NoGasLeft(mass, w.RtDoubleEditd->value(), w.RtDoubleEditVHPS->value());
    });
    w.RtDoubleEditd->SetCheck([&w](double density) {
        return NoGasLeft(w.RtDoubleEditmass0->value(), density, w.RtDoubleEditVHPS->value());
    });
    w.RtDoubleEditVHPS->SetCheck([&w](double volume) {
        return NoGasLeft(w.RtDoubleEditmass0->value(), w.RtDoubleEditd->value(), volume);
    });
}

void TSampleCalculationsPanel::RtDoubleEditbsValueChanged()
{
    SampleCalculations();
}

void TSampleCalculationsPanel::SampleCalculations()
{
    TfrmOxtiva& w = fWindow;
    const TSampleResults r = oxtiva::SampleCalculations(
        w.RtDoubleEditmass0->value(), w.RtDoubleEditd->value(), w.RtDoubleEditM0->value(),
        w.RtDoubleEditb0->value(), w.RtDoubleEditVHPS->value());
    w.RtDoubleEditVs->setValue(r.Vs);
    w.RtDoubleEditn0->setValue(r.n0);
    w.RtDoubleEditnO0->setValue(r.nO0);
    w.RtDoubleEditmO0->setValue(r.mO0);
    w.RtDoubleEditmM->setValue(r.mM);
    w.RtDoubleEditVhp->setValue(r.Vhp);
}

} // namespace oxtiva
