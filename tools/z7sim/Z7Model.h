#pragma once

#include <cstdint>

// A small deterministic pseudo-random source (splitmix64), so that a given --seed gives the same
// readings and the same faults on every machine and library version.
class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    // Uniform in [0, 1).
    double unit();
    // Uniform integer in [lo, hi].
    int range(int lo, int hi);

private:
    std::uint64_t m_state;
};

// The Z7 power controller's holding registers 0 to 29 and the plant behind them. The registers live in
// storage the caller owns (libmodbus's mapping), so the Modbus side serves them directly; the plant reads
// the operator's settings from them at every step and writes its measurements back.
class Z7Model {
public:
    static constexpr int kRegisterCount = 30;
    static constexpr int kStepMs = 100;

    enum Register : int {
        InputSetting = 0,   // ÷100; 10.00 asks for full output
        RunStop = 3,        // reads 1 while running, 0 while stopped; a write of 1 stops, of 0 runs
        MaxOutput = 4,      // ÷10, percent
        MinOutput = 5,      // ÷10, percent
        InputQuantity = 10, // ÷10, percent
        OutputQuantity = 11,
        Temperature = 12, // °C
        Alarms = 13,      // bits 0 to 8
        FullScaleVolts = 15,
        CurrentR = 20, // ÷10, A
        CurrentS = 21,
        CurrentT = 22,
        LineVolts = 23, // ÷10, V
    };

    static constexpr std::uint16_t kTempMaxBit = 1u << 4;
    static constexpr int kTempMaxSetC = 80;
    static constexpr int kTempMaxClearC = 75;

    Z7Model(std::uint16_t* registers, std::uint64_t seed, std::uint16_t forcedAlarms);

    // Only the operator's settings take function 06 writes.
    static bool IsWritable(int reg);
    // A function 06 write has just stored its value in register reg. Register 3 takes it as a command:
    // 1 stops the plant, 0 runs it, any other value changes nothing; the register then reads the state
    // again. This is the command the panel's run/stop switch gives: it writes 1 while the device reports
    // bit 0 set (running, the switch reads "STOP") and 0 while it reports it clear.
    void Written(int reg);
    bool Running() const { return m_running; }

    // Runs the plant in fixed steps up to `ms` milliseconds after start; time never goes back.
    void AdvanceTo(std::int64_t ms);
    std::int64_t Steps() const { return m_steps; }

private:
    void step();
    void publish();

    std::uint16_t* m_reg;
    SimRandom m_random;
    std::uint16_t m_forcedAlarms;
    std::int64_t m_steps = 0;
    bool m_running = false;
    double m_output = 0.0;       // in register units, 0 to 1000 = 0 to 100.0 %
    double m_temperature = 25.0; // °C
    bool m_tempMax = false;
};
