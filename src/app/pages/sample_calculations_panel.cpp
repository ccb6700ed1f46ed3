#include "app/pages/sample_calculations_panel.h"

#include "app/main_window.h"
#include "app/window/numeric_edits.h"
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
