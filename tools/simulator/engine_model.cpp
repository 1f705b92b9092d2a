#include "simulator/engine_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace darvelon::simulator {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Moves `value` towards `target` as a first-order lag with time constant `tau` seconds.
double follow(double value, double target, double dt, double tau) {
    return value + (target - value) * (1.0 - std::exp(-dt / tau));
}

double smoothStep(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}

}  // namespace

EngineModel::EngineModel(Profile profile, std::uint64_t seed)
    : m_profile(profile), m_bounds(boundsOf(profile)), m_random(seed) {
    if (profile == Profile::Race) m_rpm = m_raceTarget;
}

EngineModel::Course EngineModel::courseAt(double dt) {
    const double t = m_time;
    switch (m_profile) {
    case Profile::Idle:
        return {850 + 22 * std::sin(kTwoPi * t / 6.5) + 8 * std::sin(kTwoPi * t / 1.7),
                0.12 + 0.05 * std::sin(kTwoPi * t / 11)};
    case Profile::Sweep: {
        // A 30 s dyno pull: idle, a full-load run to 7000, a short hold, overrun back down.
        const double c = std::fmod(t, 30.0);
        if (c < 6) return {850, 0.12};
        if (c < 18) return {850 + 6150 * smoothStep((c - 6) / 12), 0.85};
        if (c < 20) return {7000, 0.6};
        if (c < 28) return {7000 - 6150 * smoothStep((c - 20) / 8), 0.02};
        return {850, 0.12};
    }
    case Profile::Race: return raceCourse(dt);
    }
    return {850, 0.1};
}

EngineModel::Course EngineModel::raceCourse(double dt) {
    switch (m_racePhase) {
    case RacePhase::Accelerating: {
        // Higher gears pull more slowly.
        static constexpr double kRate[] = {2400, 1700, 1250, 950, 750};
        m_raceTarget += kRate[m_gear - 1] * dt;
        if (m_raceTarget >= m_shiftAt) {
            if (m_gear == 5) {
                m_racePhase = RacePhase::Holding;
                m_phaseEnds = m_time + 2 + 3 * m_random.uniform();
            } else {
                static constexpr double kDrop[] = {0.66, 0.71, 0.75, 0.79};
                m_raceTarget *= kDrop[m_gear - 1];
                ++m_gear;
                m_shiftAt = 6500 + 450 * m_random.uniform();
                return {m_raceTarget, 0.15};
            }
        }
        return {m_raceTarget, 0.92};
    }
    case RacePhase::Holding:
        if (m_time >= m_phaseEnds) {
            m_racePhase = RacePhase::Braking;
            m_brakeTo = 3000 + 600 * m_random.uniform();
        }
        return {m_raceTarget, 0.55};
    case RacePhase::Braking:
        m_raceTarget -= 1500 * dt;
        if (m_raceTarget <= m_brakeTo) {
            m_raceTarget = m_brakeTo;
            m_racePhase = RacePhase::Accelerating;
            m_gear = 2;
            m_shiftAt = 6500 + 450 * m_random.uniform();
        }
        return {m_raceTarget, 0.0};
    }
    return {m_raceTarget, 0.5};
}

HalfTurn EngineModel::next() {
    const double dt = 30.0 / m_rpm;  // half a revolution, in seconds
    const Course course = courseAt(dt);
    // Gear changes pull the speed down fast; otherwise the engine answers with some inertia.
    m_rpm = follow(m_rpm, course.rpm, dt, course.load < 0.2 && m_profile == Profile::Race ? 0.08 : 0.15);
    // Combustion varies from stroke to stroke, most visibly at idle.
    const double jitter = (m_rpm < 1200 ? 0.010 : 0.004) * m_random.symmetric();
    const double rpm = m_rpm * (1 + jitter);

    // Advance grows with speed and falls back under load; overrun gets some extra.
    double angleTarget = 8 + 22 * (m_rpm - 800) / 6200 - 10 * course.load;
    if (course.load < 0.05) angleTarget += 5;
    m_angleDeg = follow(m_angleDeg, angleTarget, dt, 0.4);
    const double angle = m_angleDeg + 0.5 * m_random.symmetric();

    m_auxLevel = follow(m_auxLevel, 30 + 200 * course.load, dt, 5.0);

    const auto shortest = std::uint32_t(std::ceil(36e6 / m_bounds.maxRpm));
    const auto longest = std::uint32_t(std::floor(36e6 / m_bounds.minRpm));
    const auto d = std::clamp(std::uint32_t(std::lround(36e6 / rpm)), shortest, longest);
    const auto leastLag = std::uint32_t(std::ceil(m_bounds.minAngleDeg / 180 * d));
    const auto mostLag = std::uint32_t(std::floor(m_bounds.maxAngleDeg / 180 * d));
    const auto lag = std::clamp(std::uint32_t(std::lround(std::max(0.0, angle) / 180 * d)), leastLag, mostLag);

    m_time += d / kTicksPerSecond;
    return {d, lag, std::uint8_t(std::clamp(std::lround(m_auxLevel), 0l, 255l))};
}

}  // namespace darvelon::simulator
