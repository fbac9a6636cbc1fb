#include "platform/mixerapi/DescribedMixerDevice.h"

#include <utility>

namespace {

DWORD unitsOf(const MIXERCONTROL& control) {
    return control.dwControlType & MIXERCONTROL_CT_UNITS_MASK;
}

bool hasValues(const MIXERCONTROL& control) {
    const DWORD units = unitsOf(control);
    return units >= MIXERCONTROL_CT_UNITS_BOOLEAN && units <= MIXERCONTROL_CT_UNITS_PERCENT;
}

bool withinBounds(const MIXERCONTROL& control, DWORD word) {
    const DWORD units = unitsOf(control);
    if (units == MIXERCONTROL_CT_UNITS_SIGNED || units == MIXERCONTROL_CT_UNITS_DECIBELS) {
        const auto value = static_cast<LONG>(word);
        return value >= control.Bounds.lMinimum && value <= control.Bounds.lMaximum;
    }
    return word >= control.Bounds.dwMinimum && word <= control.Bounds.dwMaximum;
}

} // namespace

MIXERLINE MakeMixerLine(DWORD lineId, DWORD componentType, DWORD channels,
                        std::string_view shortName, std::string_view name, DWORD targetType,
                        std::string_view targetName) {
    MIXERLINE line{};
    line.cbStruct = sizeof line;
    line.dwLineID = lineId;
    line.fdwLine = MIXERLINE_LINEF_ACTIVE;
    line.dwComponentType = componentType;
    line.cChannels = channels;
    CopyMixerText(line.szShortName, shortName);
    CopyMixerText(line.szName, name);
    line.Target.dwType = targetType;
    CopyMixerText(line.Target.szPname, targetName);
    return line;
}

MIXERCONTROL MakeMixerControl(DWORD controlId, DWORD controlType, DWORD flags,
                              std::string_view shortName, std::string_view name, DWORD minimum,
                              DWORD maximum, DWORD steps) {
    MIXERCONTROL control{};
    control.cbStruct = sizeof control;
    control.dwControlID = controlId;
    control.dwControlType = controlType;
    control.fdwControl = flags;
    CopyMixerText(control.szShortName, shortName);
    CopyMixerText(control.szName, name);
    control.Bounds.dwMinimum = minimum;
    control.Bounds.dwMaximum = maximum;
    control.Metrics.cSteps = steps;
    return control;
}

DescribedMixerDevice::DescribedMixerDevice(MixerDescription description)
    : m_caps(description.caps) {
    m_caps.cDestinations = static_cast<DWORD>(description.destinations.size());

    auto addLine = [this](MixerLineDescription& described, DWORD destination, DWORD source,
                          bool isSource, DWORD connections) {
        Line line{described.line, {}};
        line.line.cbStruct = sizeof(MIXERLINE);
        line.line.dwDestination = destination;
        line.line.dwSource = source;
        line.line.cConnections = connections;
        line.line.cControls = static_cast<DWORD>(described.controls.size());
        if (isSource) {
            line.line.fdwLine |= MIXERLINE_LINEF_SOURCE;
        }
        const std::size_t lineIndex = m_lines.size();
        for (MixerControlDescription& c : described.controls) {
            c.control.cbStruct = sizeof(MIXERCONTROL);
            const MIXERCONTROL& mc = c.control;
            const bool uniform = (mc.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) != 0;
            const bool multiple = (mc.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
            Control control{std::move(c), lineIndex, 0, 0, {}};
            control.storedChannels = uniform || line.line.cChannels == 0 ? 1 : line.line.cChannels;
            control.storedItems = multiple && mc.cMultipleItems > 0 ? mc.cMultipleItems : 1;
            if (hasValues(control.description.control)) {
                const bool boolean =
                    unitsOf(control.description.control) == MIXERCONTROL_CT_UNITS_BOOLEAN;
                control.values = control.description.values;
                control.values.resize(std::size_t{control.storedChannels} * control.storedItems,
                                      boolean ? 0 : control.description.control.Bounds.dwMinimum);
            }
            line.controls.push_back(m_controls.size());
            m_controls.push_back(std::move(control));
        }
        m_lines.push_back(std::move(line));
        return lineIndex;
    };

    for (DWORD d = 0; d < description.destinations.size(); ++d) {
        MixerDestinationDescription& destination = description.destinations[d];
        std::vector<std::size_t> lines;
        lines.push_back(
            addLine(destination.line, d, 0, false, static_cast<DWORD>(destination.sources.size())));
        for (DWORD s = 0; s < destination.sources.size(); ++s) {
            lines.push_back(addLine(destination.sources[s], d, s, true, 0));
        }
        m_destinations.push_back(std::move(lines));
    }
}

MMRESULT DescribedMixerDevice::GetDevCaps(MIXERCAPS& caps) {
    caps = m_caps;
    return MMSYSERR_NOERROR;
}

const DescribedMixerDevice::Line* DescribedMixerDevice::findLine(DWORD lineId) const {
    for (const Line& line : m_lines) {
        if (line.line.dwLineID == lineId) {
            return &line;
        }
    }
    return nullptr;
}

DescribedMixerDevice::Control* DescribedMixerDevice::findControl(DWORD controlId) {
    for (Control& control : m_controls) {
        if (control.description.control.dwControlID == controlId) {
            return &control;
        }
    }
    return nullptr;
}

MMRESULT DescribedMixerDevice::GetLineInfo(MIXERLINE& line, DWORD query) {
    const Line* found = nullptr;
    switch (query) {
    case MIXER_GETLINEINFOF_DESTINATION:
        if (line.dwDestination >= m_destinations.size()) {
            return MMSYSERR_INVALPARAM;
        }
        found = &m_lines[m_destinations[line.dwDestination][0]];
        break;
    case MIXER_GETLINEINFOF_SOURCE:
        if (line.dwDestination >= m_destinations.size() ||
            line.dwSource >= m_destinations[line.dwDestination].size() - 1) {
            return MMSYSERR_INVALPARAM;
        }
        found = &m_lines[m_destinations[line.dwDestination][line.dwSource + 1]];
        break;
    case MIXER_GETLINEINFOF_LINEID:
        found = findLine(line.dwLineID);
        break;
    case MIXER_GETLINEINFOF_COMPONENTTYPE:
        for (const Line& candidate : m_lines) {
            if (candidate.line.dwComponentType == line.dwComponentType) {
                found = &candidate;
                break;
            }
        }
        break;
    default:
        return MMSYSERR_INVALFLAG;
    }
    if (found == nullptr) {
        return MIXERR_INVALLINE;
    }
    line = found->line;
    return MMSYSERR_NOERROR;
}

MMRESULT DescribedMixerDevice::GetLineControls(MIXERLINECONTROLS& controls, DWORD query) {
    if (query != MIXER_GETLINECONTROLSF_ALL) {
        return MMSYSERR_INVALFLAG;
    }
    const Line* line = findLine(controls.dwLineID);
    if (line == nullptr) {
        return MIXERR_INVALLINE;
    }
    if (controls.cControls == 0 || controls.cControls != line->controls.size()) {
        return MMSYSERR_INVALPARAM;
    }
    for (std::size_t i = 0; i < line->controls.size(); ++i) {
        controls.pamxctrl[i] = m_controls[line->controls[i]].description.control;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT DescribedMixerDevice::checkShape(const Control& control,
                                          const MIXERCONTROLDETAILS& details) const {
    const MIXERCONTROL& mc = control.description.control;
    if (details.cChannels != 1 && details.cChannels != control.storedChannels) {
        return MMSYSERR_INVALPARAM;
    }
    if ((mc.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0) {
        return details.cMultipleItems == mc.cMultipleItems ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    }
    return details.cMultipleItems <= 1 ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
}

MMRESULT DescribedMixerDevice::GetControlDetails(MIXERCONTROLDETAILS& details, DWORD query) {
    Control* control = findControl(details.dwControlID);
    if (control == nullptr) {
        return MIXERR_INVALCONTROL;
    }
    const MIXERCONTROL& mc = control->description.control;
    if (const MMRESULT shape = checkShape(*control, details); shape != MMSYSERR_NOERROR) {
        return shape;
    }
    const DWORD items = control->storedItems;
    if (query == MIXER_GETCONTROLDETAILSF_LISTTEXT) {
        if ((mc.dwControlType & MIXERCONTROL_CT_CLASS_MASK) != MIXERCONTROL_CT_CLASS_LIST) {
            return MMSYSERR_INVALPARAM;
        }
        if (details.cbDetails != sizeof(MIXERCONTROLDETAILS_LISTTEXT)) {
            return MMSYSERR_INVALPARAM;
        }
        auto* out = static_cast<MIXERCONTROLDETAILS_LISTTEXT*>(details.paDetails);
        for (DWORD ch = 0; ch < details.cChannels; ++ch) {
            for (DWORD item = 0; item < items; ++item) {
                MIXERCONTROLDETAILS_LISTTEXT& text = out[ch * items + item];
                text = item < control->description.itemTexts.size()
                           ? control->description.itemTexts[item]
                           : MIXERCONTROLDETAILS_LISTTEXT{};
            }
        }
        return MMSYSERR_NOERROR;
    }
    if (query != MIXER_GETCONTROLDETAILSF_VALUE) {
        return MMSYSERR_INVALFLAG;
    }
    if (!hasValues(mc)) {
        return MMSYSERR_NOTSUPPORTED;
    }
    if (details.cbDetails != sizeof(MIXERCONTROLDETAILS_UNSIGNED)) {
        return MMSYSERR_INVALPARAM;
    }
    auto* out = static_cast<DWORD*>(details.paDetails);
    std::lock_guard lock(m_mutex);
    for (DWORD ch = 0; ch < details.cChannels; ++ch) {
        for (DWORD item = 0; item < items; ++item) {
            out[ch * items + item] = control->values[ch * items + item];
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT DescribedMixerDevice::SetControlDetails(const MIXERCONTROLDETAILS& details, DWORD query) {
    if (query != MIXER_SETCONTROLDETAILSF_VALUE && query != MIXER_SETCONTROLDETAILSF_ONCUE) {
        return MMSYSERR_INVALFLAG;
    }
    Control* control = findControl(details.dwControlID);
    if (control == nullptr) {
        return MIXERR_INVALCONTROL;
    }
    const MIXERCONTROL& mc = control->description.control;
    if (const MMRESULT shape = checkShape(*control, details); shape != MMSYSERR_NOERROR) {
        return shape;
    }
    if (!hasValues(mc)) {
        return MMSYSERR_NOTSUPPORTED;
    }
    if (details.cbDetails != sizeof(MIXERCONTROLDETAILS_UNSIGNED)) {
        return MMSYSERR_INVALPARAM;
    }
    const bool boolean = unitsOf(mc) == MIXERCONTROL_CT_UNITS_BOOLEAN;
    const DWORD items = control->storedItems;
    const auto* in = static_cast<const DWORD*>(details.paDetails);

    std::lock_guard lock(m_mutex);
    std::vector<DWORD> after = control->values;
    for (DWORD ch = 0; ch < control->storedChannels; ++ch) {
        // One channel given for several: it applies to all of them.
        const DWORD from = details.cChannels == 1 ? 0 : ch;
        for (DWORD item = 0; item < items; ++item) {
            const DWORD word = in[from * items + item];
            if (!boolean && !withinBounds(mc, word)) {
                return MIXERR_INVALVALUE;
            }
            after[ch * items + item] = boolean ? (word != 0 ? 1 : 0) : word;
        }
    }
    if (query == MIXER_SETCONTROLDETAILSF_ONCUE) {
        return ValuesStaged(mc.dwControlID, after);
    }
    if (after != control->values) {
        std::vector<DWORD> before = std::exchange(control->values, after);
        ValuesChanged(mc.dwControlID, before, control->values);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT DescribedMixerDevice::ValuesStaged(DWORD, const std::vector<DWORD>&) {
    return MMSYSERR_NOTSUPPORTED;
}

void DescribedMixerDevice::StoreLocked(DWORD controlId, const std::vector<DWORD>& values) {
    Control* control = findControl(controlId);
    if (control == nullptr || control->values.size() != values.size() ||
        control->values == values) {
        return;
    }
    std::vector<DWORD> before = std::exchange(control->values, values);
    ValuesChanged(controlId, before, control->values);
}

std::vector<DWORD> DescribedMixerDevice::GetValues(DWORD controlId) const {
    std::lock_guard lock(m_mutex);
    return ValuesLocked(controlId);
}

const std::vector<DWORD>& DescribedMixerDevice::ValuesLocked(DWORD controlId) const {
    static const std::vector<DWORD> none;
    for (const Control& control : m_controls) {
        if (control.description.control.dwControlID == controlId) {
            return control.values;
        }
    }
    return none;
}

void DescribedMixerDevice::ValuesChanged(DWORD, const std::vector<DWORD>&,
                                         const std::vector<DWORD>&) {}
