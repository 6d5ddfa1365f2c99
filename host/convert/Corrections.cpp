// Placeholder until the corrections are computed: no satellite gets one, none is counted skipped.
#include "Corrections.h"

namespace convert {

Corrections::Corrections() = default;

int Corrections::compute(const CorrectionInput &, Constellation, std::vector<Nvt::Mesaro::RTCMV_DGNSS_s> &out)
{
    out.clear();
    return 0;
}

} // namespace convert
