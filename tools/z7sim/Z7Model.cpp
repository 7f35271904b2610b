#include "Z7Model.h"

#include <algorithm>
#include <cmath>

std::uint64_t SimRandom::next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SimRandom::unit() {
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

int SimRandom::range(int lo, int hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<int>(next() % span);
}

namespace {

constexpr double kAmbientC = 25.0;
constexpr double kFullLoadRiseC = 65.0;
constexpr double kHeatingTauS = 40.0;
constexpr double kCoolingTauS = 150.0; // a heat sink cools more slowly than it warms
constexpr double kRampPerS = 50.0;     // 5.0 % of full output per second
constexpr std::uint16_t kNominalVolts = 3800;
constexpr double kFullScale = 1000.0;
// Small, fixed imbalance between the three phases.
constexpr double kPhaseFactor[3] = {1.00, 0.97, 1.02};

std::uint16_t toRegister(double v) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}

} // namespace

Z7Model::Z7Model(std::uint16_t* registers, std::uint64_t seed, std::uint16_t forcedAlarms)
    : m_reg(registers), m_random(seed), m_forcedAlarms(forcedAlarms) {
    std::fill(m_reg, m_reg + kRegisterCount, 0);
    m_reg[InputSetting] = 500;
    m_reg[RunStop] = 0;
    m_reg[MaxOutput] = 1000;
    m_reg[MinOutput] = 0;
    m_reg[FullScaleVolts] = kNominalVolts;
    publish();
}

bool Z7Model::IsWritable(int reg) {
    return reg == InputSetting || reg == RunStop || reg == MaxOutput || reg == MinOutput;
}

void Z7Model::Written(int reg) {
    if (reg != RunStop)
        return;
    if (m_reg[RunStop] == 1)
        m_running = false;
    else if (m_reg[RunStop] == 0)
        m_running = true;
    m_reg[RunStop] = m_running ? 1 : 0;
}

void Z7Model::AdvanceTo(std::int64_t ms) {
    const std::int64_t due = ms / kStepMs;
    while (m_steps < due) {
        step();
        ++m_steps;
    }
}

void Z7Model::step() {
    constexpr double dt = kStepMs / 1000.0;
    const double setting = std::min<double>(m_reg[InputSetting], kFullScale);
    const double maxOut = std::min<double>(m_reg[MaxOutput], kFullScale);
    const double minOut = std::min<double>(m_reg[MinOutput], kFullScale);
    // A minimum above the maximum yields to the maximum: the upper limit protects the load.
    const double target = m_running ? std::min(std::max(setting, minOut), maxOut) : 0.0;
    const double stepSize = kRampPerS * dt;
    if (m_output < target)
        m_output = std::min(target, m_output + stepSize);
    else
        m_output = std::max(target, m_output - stepSize);

    const double load = m_output / kFullScale;
    const double steady = kAmbientC + kFullLoadRiseC * load;
    const double tau = steady > m_temperature ? kHeatingTauS : kCoolingTauS;
    m_temperature += (steady - m_temperature) * dt / tau;
    if (m_temperature > kTempMaxSetC)
        m_tempMax = true;
    else if (m_temperature < kTempMaxClearC)
        m_tempMax = false;
    publish();
}

void Z7Model::publish() {
    m_reg[InputQuantity] = toRegister(std::min<double>(m_reg[InputSetting], kFullScale));
    m_reg[OutputQuantity] = toRegister(m_output);
    m_reg[Temperature] = toRegister(m_temperature);
    m_reg[Alarms] = static_cast<std::uint16_t>(m_forcedAlarms | (m_tempMax ? kTempMaxBit : 0));
    // 100.0 A per phase at full output; a stopped load draws nothing, so no noise then.
    for (int i = 0; i < 3; ++i) {
        const double amps = m_output > 0.5 ? m_output * kPhaseFactor[i] + m_random.range(-3, 3) : 0.0;
        m_reg[CurrentR + i] = toRegister(amps);
    }
    // The line sags a little under load.
    m_reg[LineVolts] = toRegister(kNominalVolts - 40.0 * (m_output / kFullScale) + m_random.range(-15, 15));
}
