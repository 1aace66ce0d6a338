// cockpit_world.h -- the harness's cockpit (harness/cockpit.h) over the stand-in's world: what a
// virtual pilot sees of a vessel comes from the vessel's record as the host's queries derive it,
// and its inputs go in as a pilot's stick, throttle and keys.
#pragma once

#include "cockpit.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

class World;

class WorldCockpit final : public harness::Cockpit {
public:
    // `snapshot` makes the run's pictures (as the snapshot input); none: no pictures.
    using SnapshotFn = std::function<void(const std::string &display, const std::string &file)>;
    explicit WorldCockpit(World &w, SnapshotFn snapshot = nullptr) : w_(w), snapshot_(std::move(snapshot)) {}

    double SimTime() const override;
    double StepLength() const override;
    bool Look(const char *vessel, harness::Sight *out) const override;
    bool PressKey(const char *vessel, int key, bool shift) override;
    void SetStick(const char *vessel, AIRCTRL_TYPE surface, double level) override;
    void SetThrottle(const char *vessel, double level) override;
    bool HudTexts(const char *vessel, std::vector<std::string> *texts) override;
    void Event(const std::string &line) override;
    void Snapshot(const std::string &display, const std::string &file) override;

private:
    World &w_;
    SnapshotFn snapshot_;
};

}  // namespace sim
