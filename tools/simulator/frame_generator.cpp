#include "simulator/frame_generator.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "decoder/frame_format.h"

namespace darvelon::simulator {
namespace {

constexpr double kMeanSecondsBetweenStrays = 0.4;
constexpr std::size_t kHangUpCut = 4;  // bytes of the interrupted frame that still go out

}  // namespace

std::string_view nameOf(Glitch glitch) {
    switch (glitch) {
    case Glitch::Garbage: return "garbage";
    case Glitch::ZeroPeriod: return "zero-period";
    case Glitch::HangUp: return "hangup";
    }
    return {};
}

std::optional<Glitch> glitchNamed(std::string_view name) {
    for (const Glitch g : {Glitch::Garbage, Glitch::ZeroPeriod, Glitch::HangUp}) {
        if (nameOf(g) == name) return g;
    }
    return std::nullopt;
}

double zeroPeriodSeconds(const StreamSettings& settings) { return settings.seconds ? *settings.seconds / 3 : 3.0; }

double hangUpSeconds(const StreamSettings& settings) { return settings.seconds ? *settings.seconds * 2 / 3 : 6.0; }

FrameGenerator::FrameGenerator(const StreamSettings& settings)
    : m_settings(settings),
      m_engine(settings.profile, settings.seed),
      m_faults(settings.seed ^ 0x5eed'fa17'0000'0000ull),
      // The counter runs from power-on, so the first stamp is anywhere in its range.
      m_periodStamp(std::uint32_t(Random(~settings.seed).next() % kStampModulus)) {}

bool FrameGenerator::has(Glitch glitch) const {
    return std::find(m_settings.glitches.begin(), m_settings.glitches.end(), glitch) != m_settings.glitches.end();
}

std::optional<double> FrameGenerator::appendNext(std::vector<std::uint8_t>& out) {
    if (m_ended) return std::nullopt;
    const HalfTurn turn = m_engine.next();
    if (!m_first) {
        m_periodStamp = (m_periodStamp + turn.periodTicks) % kStampModulus;
        m_time += turn.periodTicks / kTicksPerSecond;
    }
    if (m_settings.seconds && m_time > *m_settings.seconds) {
        m_ended = true;
        return std::nullopt;
    }
    const auto phase = (m_periodStamp + kStampModulus - turn.lagTicks) % kStampModulus;
    const auto frame = decoder::encodeFrame(m_periodStamp, phase, turn.aux);

    if (has(Glitch::HangUp) && m_time >= hangUpSeconds(m_settings)) {
        out.insert(out.end(), frame.begin(), frame.begin() + kHangUpCut);
        m_ended = true;
        m_hungUp = true;
        return m_time;
    }
    if (has(Glitch::Garbage) && !m_first &&
        m_faults.uniform() < turn.periodTicks / kTicksPerSecond / kMeanSecondsBetweenStrays) {
        const std::uint32_t count = 1 + m_faults.below(6);
        for (std::uint32_t i = 0; i < count; ++i) out.push_back(std::uint8_t(m_faults.below(0xFF)));
    }
    out.insert(out.end(), frame.begin(), frame.end());
    if (has(Glitch::ZeroPeriod) && !m_zeroPeriodSent && !m_first && m_time >= zeroPeriodSeconds(m_settings)) {
        out.insert(out.end(), frame.begin(), frame.end());
        m_zeroPeriodSent = true;
    }
    m_first = false;
    return m_time;
}

std::vector<std::uint8_t> generateStream(const StreamSettings& settings) {
    if (!settings.seconds) throw std::invalid_argument("an endless stream cannot be generated whole");
    FrameGenerator generator(settings);
    std::vector<std::uint8_t> out;
    while (generator.appendNext(out)) {
    }
    return out;
}

}  // namespace darvelon::simulator
