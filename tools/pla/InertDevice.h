#pragma once

#include "model/MoxItemDevice.h"

/// A player that is always ready and plays nothing: loading a list with it keeps every record
/// of a known kind, whatever players this machine has.
class InertDevice final : public MoxItemDevice {
public:
    bool IsReady() const override { return true; }
    bool Play(const std::string&) override { return false; }
    void Stop() override {}
};
