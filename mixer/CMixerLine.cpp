#include "mixer/CMixerLine.h"

#include "mixer/MixerText.h"
#include "platform/classlib/CArchive.h"

#include <iterator>

QUILLON_IMPLEMENT_SERIAL(CMixerLine, CObject, 1)

void CMixerLine::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_destination << m_source << m_lineId << m_lineFlags << m_user << m_componentType
           << m_channelCount << m_connectionCount << m_controlCount << m_shortName << m_name
           << m_targetType << m_targetDeviceId << m_targetManufacturerId << m_targetProductId
           << m_targetDriverVersion << m_targetProductName;
    } else {
        ar >> m_destination >> m_source >> m_lineId >> m_lineFlags >> m_user >> m_componentType >>
            m_channelCount >> m_connectionCount >> m_controlCount >> m_shortName >> m_name >>
            m_targetType >> m_targetDeviceId >> m_targetManufacturerId >> m_targetProductId >>
            m_targetDriverVersion >> m_targetProductName;
    }
}

void CMixerLine::Set(const MIXERLINE& line) {
    m_destination = line.dwDestination;
    m_source = line.dwSource;
    m_lineId = line.dwLineID;
    m_lineFlags = line.fdwLine;
    m_user = line.dwUser;
    m_componentType = line.dwComponentType;
    m_channelCount = line.cChannels;
    m_connectionCount = line.cConnections;
    m_controlCount = line.cControls;
    m_shortName = MixerFieldText(line.szShortName);
    m_name = MixerFieldText(line.szName);
    m_targetType = line.Target.dwType;
    m_targetDeviceId = line.Target.dwDeviceID;
    m_targetManufacturerId = line.Target.wMid;
    m_targetProductId = line.Target.wPid;
    m_targetDriverVersion = line.Target.vDriverVersion;
    m_targetProductName = MixerFieldText(line.Target.szPname);
}

void CMixerLine::Copy(const CMixerLine& other) {
    m_destination = other.m_destination;
    m_source = other.m_source;
    m_lineId = other.m_lineId;
    m_lineFlags = other.m_lineFlags;
    m_user = other.m_user;
    m_componentType = other.m_componentType;
    m_channelCount = other.m_channelCount;
    m_connectionCount = other.m_connectionCount;
    m_controlCount = other.m_controlCount;
    m_shortName = other.m_shortName;
    m_name = other.m_name;
    m_targetType = other.m_targetType;
    m_targetDeviceId = other.m_targetDeviceId;
    m_targetManufacturerId = other.m_targetManufacturerId;
    m_targetProductId = other.m_targetProductId;
    m_targetDriverVersion = other.m_targetDriverVersion;
    m_targetProductName = other.m_targetProductName;
}

void CMixerLine::Reset() {
    m_destination = 0;
    m_source = 0;
    m_lineId = 0;
    m_lineFlags = 0;
    m_user = 0;
    m_componentType = 0;
    m_channelCount = 0;
    m_connectionCount = 0;
    m_controlCount = 0;
    m_shortName.clear();
    m_name.clear();
    m_targetType = 0;
    m_targetDeviceId = 0;
    m_targetManufacturerId = 0;
    m_targetProductId = 0;
    m_targetDriverVersion = 0;
    m_targetProductName.clear();
}

void CMixerLine::GetComponentTypeText(std::string& text) const {
    static const char* const destinations[] = {
        "Undefined Destination", "Digital Destination",  "Line Destination",
        "Monitor Destination",   "Speakers Destination", "Headphones Destination",
        "Telephone Destination", "Wave In Destination",  "Voice In Destination",
    };
    static const char* const sources[] = {
        "Undefined Source",   "Digital Source",      "Line Source",      "Microphone Source",
        "Synthesizer Source", "Compact Disc Source", "Telephone Source", "PC Speaker Source",
        "Wave Out Source",    "Auxillary Source",    "Analog Source",
    };
    constexpr DWORD destinationCount = std::size(destinations);
    constexpr DWORD sourceCount = std::size(sources);
    if (m_componentType < destinationCount) {
        text = destinations[m_componentType];
    } else if (m_componentType >= MIXERLINE_COMPONENTTYPE_SRC_FIRST &&
               m_componentType < MIXERLINE_COMPONENTTYPE_SRC_FIRST + sourceCount) {
        text = sources[m_componentType - MIXERLINE_COMPONENTTYPE_SRC_FIRST];
    } else {
        text = UnknownMixerText(m_componentType);
    }
}

void CMixerLine::GetStatusText(std::string& text) const {
    text.clear();
    auto add = [&text](const char* word) {
        if (!text.empty()) {
            text += ", ";
        }
        text += word;
    };
    if (IsActive()) {
        add("Active");
    }
    if (IsDisconnected()) {
        add("Disconnected");
    }
    if (IsSource()) {
        add("Source");
    }
}

void CMixerLine::GetTargetTypeText(std::string& text) const {
    static const char* const targets[] = {"Undefined", "Wave Out", "Wave In",
                                          "MIDI Out",  "MIDI In",  "Aux"};
    text =
        m_targetType < std::size(targets) ? targets[m_targetType] : UnknownMixerText(m_targetType);
}

bool CMixerLine::IsActive() const {
    return (m_lineFlags & MIXERLINE_LINEF_ACTIVE) != 0;
}

bool CMixerLine::IsDisconnected() const {
    return (m_lineFlags & MIXERLINE_LINEF_DISCONNECTED) != 0;
}

bool CMixerLine::IsSource() const {
    return (m_lineFlags & MIXERLINE_LINEF_SOURCE) != 0;
}

CMixerLine& CMixerLine::operator=(const MIXERLINE& line) {
    Set(line);
    return *this;
}

CMixerLine& CMixerLine::operator=(const CMixerLine& other) {
    if (this != &other) {
        Copy(other);
    }
    return *this;
}
