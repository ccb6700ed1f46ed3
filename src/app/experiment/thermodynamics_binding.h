#pragma once

namespace oxtiva
{

class TfrmOxtiva;

// Gives the page "Thermodynamics" the running experiment's isotherm, fits it again after
// each save (a completed step saves), and lets its button write
// "<sample>_thermodynamics.csv" beside the newest data file.
void BindThermodynamicsPage(TfrmOxtiva& w);

} // namespace oxtiva
