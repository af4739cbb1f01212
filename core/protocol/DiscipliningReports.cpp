// Disciplining and oscillator reports: all held as text. The legacy unit
// sends the two error estimates in a packed exponent form that is expanded
// here into the text the page shows.

#include "protocol/Handlers.h"

namespace velmor {

namespace {

constexpr std::size_t kMaxExpandedLength = 30;

// 12345-09 -> 1.2345E-09: the first mantissa digit (after an optional sign)
// is the integer digit; a '-' marks the exponent. |fractionDigitsFirst|
// characters after the point are copied before exponent marking starts.
std::string ExpandExponent(const std::string& text, int fractionDigitsFirst)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && text[i] == ' ') ++i;
    std::string out;
    if (i < n && (text[i] == '+' || text[i] == '-')) out += text[i++];
    if (i < n) out += text[i++];
    out += '.';
    for (int k = 0; k < fractionDigitsFirst && i < n; ++k) out += text[i++];
    for (; i < n && text[i] != ' ' && out.size() < kMaxExpandedLength; ++i) {
        if (text[i] == '-') {
            out += 'E';
            if (out.size() >= kMaxExpandedLength) break;
        }
        out += text[i];
    }
    if (out.size() > kMaxExpandedLength) out.resize(kMaxExpandedLength);
    return out;
}

void StoreRest(CDispatchContext& ctx, std::string& target, Reported what = Reported::None)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    target = rest;
    ctx.Report(what);
}

}  // namespace

// DACV,032768
//      1
// 1 oscillator control DAC value (the rest of the sentence).
void OnDACV(CDispatchContext& ctx) { StoreRest(ctx, ctx.state.m_strDacValue, Reported::Dac); }

// DACP,032768
//      1
// The same report under the other product family's name.
void OnDACP(CDispatchContext& ctx) { StoreRest(ctx, ctx.state.m_strDacValue, Reported::Dac); }

// OC 032768
//    1
// The legacy unit's DAC value.
void OnOC(CDispatchContext& ctx) { StoreRest(ctx, ctx.state.m_strDacValue, Reported::Dac); }

// EFER,1.23E-10
//      1
// 1 frequency error estimate, ready to show.
void OnEFER(CDispatchContext& ctx) { StoreRest(ctx, ctx.state.m_strFreqErrorEstimate, Reported::FrequencyError); }

// EF 12345-09
//    1
// 1 frequency error estimate in the packed exponent form, ended by a
// carriage return or space.
void OnEF(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.tok.Next("\r ", field)) return;
    ctx.state.m_strFreqErrorEstimate = ExpandExponent(field, 0);
    ctx.Report(Reported::FrequencyError);
}

// ESSD,2.5E-11
//      1
// 1 standard error of the estimate, ready to show.
void OnESSD(CDispatchContext& ctx) { StoreRest(ctx, ctx.state.m_strStdErrorEstimate, Reported::FrequencyStdError); }

// SD 25-08
//    1
// 1 standard error in the packed exponent form; the first fraction digit is
// always copied as it is.
void OnSD(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_strStdErrorEstimate = ExpandExponent(rest, 1);
    ctx.Report(Reported::FrequencyStdError);
}

// ESSN,000123
//      1
// 1 samples in the current discipline cycle; the page uses it to decide when
// to ask for the cycle count, so it is redrawn at once.
void OnESSN(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_strSamplesInCycle = rest;
    ctx.RequestRedraw();
}

// ES 000123
//    1
// The legacy unit's samples in cycle, as ESSN.
void OnES(CDispatchContext& ctx) { OnESSN(ctx); }

// ESTC,000042
//      1
// 1 discipline cycles completed.
void OnESTC(CDispatchContext& ctx) { StoreRest(ctx, ctx.state.m_strCyclesCompleted); }

// TEMP,045.5
//      1
// 1 oscillator temperature, degrees.
void OnTEMP(CDispatchContext& ctx) { StoreRest(ctx, ctx.state.m_strTemperature, Reported::Temperature); }

}  // namespace velmor
