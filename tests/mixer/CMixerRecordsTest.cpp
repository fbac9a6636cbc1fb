#include "mixer/CMixer.h"
#include "mixer/CMixerCapabilities.h"
#include "mixer/CMixerControl.h"
#include "mixer/CMixerControlDetailsData.h"
#include "mixer/CMixerLine.h"

#include "platform/classlib/CArchive.h"
#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"
#include "platform/mixerapi/DescribedMixerDevice.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

Bytes Store(CObject& object) {
    TempDir dir;
    const std::string path = dir.file("record.bin");
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    object.Serialize(ar);
    ar.Close();
    file.Close();
    return ReadFileBytes(path);
}

void Load(CObject& object, const Bytes& bytes) {
    TempDir dir;
    const std::string path = dir.file("record.bin");
    WriteFileBytes(path, bytes);
    CFile file(path, CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    object.Serialize(ar);
}

std::string ComponentText(DWORD type) {
    MIXERLINE line{};
    line.dwComponentType = type;
    CMixerLine record;
    record.Set(line);
    std::string text = "unchanged";
    record.GetComponentTypeText(text);
    return text;
}

std::string TargetText(DWORD type) {
    MIXERLINE line{};
    line.Target.dwType = type;
    CMixerLine record;
    record = line;
    std::string text;
    record.GetTargetTypeText(text);
    return text;
}

std::string StatusText(DWORD flags) {
    MIXERLINE line{};
    line.fdwLine = flags;
    CMixerLine record;
    record = line;
    std::string text = "previous";
    record.GetStatusText(text);
    return text;
}

CMixerControl ControlOfType(DWORD type, DWORD flags = 0) {
    CMixerControl control;
    control = MakeMixerControl(1, type, flags, "", "", 0, 0, 0);
    return control;
}

std::string ControlText(DWORD type) {
    std::string text = "unchanged";
    ControlOfType(type).GetControlTypeText(text);
    return text;
}

MIXERLINE SampleLine() {
    MIXERLINE line = MakeMixerLine(0x00010000, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2, "Wave",
                                   "Wave Out", MIXERLINE_TARGETTYPE_WAVEOUT, "Engine");
    line.dwDestination = 0;
    line.dwSource = 1;
    line.fdwLine = MIXERLINE_LINEF_ACTIVE | MIXERLINE_LINEF_SOURCE;
    line.dwUser = 0xDEADBEEF;
    line.cControls = 2;
    line.Target.dwDeviceID = 3;
    line.Target.wMid = 0xFFFF;
    line.Target.wPid = 0x1234;
    line.Target.vDriverVersion = 0x0100;
    return line;
}

TEST(CMixerRecordsTest, TypesOutsideTheirRangesAreUnknownByNumber) {
    // The ends of each range, and the first type past them.
    EXPECT_EQ(ComponentText(0), "Undefined Destination");
    EXPECT_EQ(ComponentText(8), "Voice In Destination");
    EXPECT_EQ(ComponentText(9), "Unknown (9)");
    EXPECT_EQ(ComponentText(0x0FFF), "Unknown (4095)");
    EXPECT_EQ(ComponentText(0x1000), "Undefined Source");
    EXPECT_EQ(ComponentText(0x100A), "Analog Source");
    EXPECT_EQ(ComponentText(0x100B), "Unknown (4107)");
    EXPECT_EQ(ComponentText(0xFFFFFFFF), "Unknown (4294967295)");
    EXPECT_EQ(TargetText(5), "Aux");
    EXPECT_EQ(TargetText(6), "Unknown (6)");
}

TEST(CMixerRecordsTest, StatusTextsJoinTheirFlags) {
    EXPECT_EQ(StatusText(0x80008001), "Active, Disconnected, Source");
    EXPECT_EQ(StatusText(0x80000000), "Source");
    EXPECT_EQ(StatusText(0x00008000), "Disconnected");
    EXPECT_EQ(StatusText(0x00000001), "Active");
    EXPECT_EQ(StatusText(0x80000001), "Active, Source");
    EXPECT_EQ(StatusText(0x7FFF7FFE), "") << "other bits say nothing, and the text starts empty";

    CMixerLine line;
    line = SampleLine();
    EXPECT_TRUE(line.IsActive());
    EXPECT_TRUE(line.IsSource());
    EXPECT_FALSE(line.IsDisconnected());
}

TEST(CMixerRecordsTest, ControlTypesHaveTheirTextsAndOthersLeaveTheStringAlone) {
    // One of each class, and the last of the list types.
    const std::pair<DWORD, const char*> texts[] = {
        {0x00000000, "Custom"},          {0x10020001, "Peak Meter"},
        {0x20010002, "Mute Switch"},     {0x21010000, "Button"},
        {0x30040000, "Decibels Number"}, {0x40020002, "Q-Sound Pan Slider"},
        {0x50030001, "Volume Fader"},    {0x61030000, "Millisecond Time"},
        {0x70010001, "Mux List"},        {0x71010001, "Mixer List"},
    };
    for (const auto& [type, text] : texts) {
        EXPECT_EQ(ControlText(type), text) << std::hex << type;
    }
    EXPECT_EQ(ControlText(0x50030005), "unchanged");
    EXPECT_EQ(ControlText(0x40000000), "unchanged");
}

TEST(CMixerRecordsTest, ControlsAreClassifiedByTypeAndFlags) {
    const CMixerControl volume = ControlOfType(MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_EQ(volume.GetControlClass(), MIXERCONTROL_CT_CLASS_FADER);
    EXPECT_EQ(volume.GetUnits(), MIXERCONTROL_CT_UNITS_UNSIGNED);
    EXPECT_TRUE(volume.IsFader());
    EXPECT_TRUE(volume.IsUnsigned());
    EXPECT_FALSE(volume.IsSlider() || volume.IsBoolean() || volume.IsCustom() ||
                 volume.IsCustomUnits() || volume.IsUniform() || volume.IsMultiple() ||
                 volume.IsDisabled());

    const CMixerControl mux =
        ControlOfType(MIXERCONTROL_CONTROLTYPE_MUX, MIXERCONTROL_CONTROLF_UNIFORM |
                                                        MIXERCONTROL_CONTROLF_MULTIPLE |
                                                        MIXERCONTROL_CONTROLF_DISABLED);
    EXPECT_TRUE(mux.IsList() && mux.IsBoolean() && mux.IsUniform() && mux.IsMultiple() &&
                mux.IsDisabled());

    EXPECT_TRUE(ControlOfType(MIXERCONTROL_CONTROLTYPE_PEAKMETER).IsMeter());
    EXPECT_TRUE(ControlOfType(MIXERCONTROL_CONTROLTYPE_PEAKMETER).IsSigned());
    EXPECT_TRUE(ControlOfType(MIXERCONTROL_CONTROLTYPE_BUTTON).IsSwitch());
    EXPECT_TRUE(ControlOfType(MIXERCONTROL_CONTROLTYPE_DECIBELS).IsNumber());
    EXPECT_TRUE(ControlOfType(MIXERCONTROL_CONTROLTYPE_DECIBELS).IsDecibels());
    EXPECT_TRUE(ControlOfType(MIXERCONTROL_CONTROLTYPE_PERCENT).IsPercent());
    EXPECT_TRUE(ControlOfType(MIXERCONTROL_CONTROLTYPE_MILLITIME).IsTime());
    EXPECT_TRUE(ControlOfType(MIXERCONTROL_CONTROLTYPE_PAN).IsSlider());

    // Class and units outside the known ones count as custom.
    const CMixerControl odd = ControlOfType(0x80060000);
    EXPECT_EQ(odd.GetControlClass(), 0u);
    EXPECT_EQ(odd.GetUnits(), 0u);
    EXPECT_TRUE(odd.IsCustom());
    EXPECT_TRUE(odd.IsCustomUnits());
}

TEST(CMixerRecordsTest, SetCopyAndResetFollowTheirRules) {
    MIXERCONTROL platform = MakeMixerControl(7, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Vol", "Volume",
                                             0xFFFFFFF0, 100, 64);
    for (DWORD i = 1; i < 6; ++i) {
        platform.Metrics.dwReserved[i] = i * 11;
    }
    CMixerControl control;
    control.Set(platform);
    control.Set(platform);
    EXPECT_EQ(control.GetMetrics(), (std::vector<DWORD>{64, 11, 22, 33, 44, 55}))
        << "Set resets first: the array holds six words, not twelve";
    EXPECT_EQ(control.GetStepCount(), 64u);
    EXPECT_EQ(control.GetCustomDataSize(), 64u);
    EXPECT_EQ(control.GetLowerBound(), 0xFFFFFFF0u);
    CMixerControl copy;
    copy = control;
    EXPECT_EQ(copy.GetMetrics(), control.GetMetrics());
    EXPECT_EQ(copy.GetName(), "Volume");
    copy.Reset();
    EXPECT_TRUE(copy.GetMetrics().empty());
    EXPECT_EQ(copy.GetControlId(), 0u);

    // A line's Set overwrites every field; a name filling its whole field is kept whole.
    MIXERLINE platformLine = SampleLine();
    std::memset(platformLine.szShortName, 'S', sizeof platformLine.szShortName);
    CMixerLine line;
    line = platformLine;
    EXPECT_EQ(line.GetShortName(), std::string(16, 'S'));
    EXPECT_EQ(line.GetUser(), 0xDEADBEEFu);
    EXPECT_EQ(line.GetTargetProductId(), 0x1234u);
    line.Reset();
    EXPECT_EQ(line.GetName(), "");
    EXPECT_EQ(line.GetLineFlags(), 0u);

    CMixerControlDetailsData data;
    MIXERCONTROLDETAILS_LISTTEXT text{5, 6, {}};
    CopyMixerText(text.szName, "Microphone");
    data = text;
    EXPECT_EQ(data.GetValue(), 5u);
    EXPECT_EQ(data.GetSecondParameter(), 6u);
    EXPECT_EQ(data.GetName(), "Microphone");
    data = MIXERCONTROLDETAILS_SIGNED{-3};
    EXPECT_EQ(data.GetValue(), 0xFFFFFFFDu);
    EXPECT_EQ(data.GetSecondParameter(), 0u);
    EXPECT_EQ(data.GetName(), "") << "a value clears the name of a list item";
    data = MIXERCONTROLDETAILS_BOOLEAN{1};
    EXPECT_EQ(data.GetValue(), 1u);
}

TEST(CMixerRecordsTest, RecordsAreCreatableByNameWithSchemaOne) {
    for (const char* name :
         {"CMixerLine", "CMixerCapabilities", "CMixerControl", "CMixerControlDetailsData"}) {
        auto object = CRuntimeClass::CreateObject(name);
        ASSERT_NE(object, nullptr) << name;
        EXPECT_STREQ(object->GetRuntimeClass()->m_lpszClassName, name);
        EXPECT_EQ(object->GetRuntimeClass()->m_wSchema, 1u);
    }
    EXPECT_EQ(CRuntimeClass::FromName("CMixer"), nullptr) << "a device is not created by name";
    EXPECT_EQ(CRuntimeClass::FromName("CMixerVolumeControl"), nullptr);
}

TEST(CMixerRecordsTest, CapabilitiesAndDetailsSerialiseFieldByField) {
    MIXERCAPS platform{};
    platform.wMid = 0x0102;
    platform.wPid = 0x0304;
    platform.vDriverVersion = 0x0506;
    CopyMixerText(platform.szPname, "Mix");
    platform.fdwSupport = 7;
    platform.cDestinations = 2;
    CMixerCapabilities caps;
    caps = platform;
    const Bytes bytes = Store(caps);
    EXPECT_EQ(bytes, HexBytes("02 01 00 00  04 03 00 00  06 05 00 00  03 4D 69 78"
                              "07 00 00 00  02 00 00 00"));
    CMixerCapabilities loaded;
    Load(loaded, bytes);
    EXPECT_EQ(Store(loaded), bytes);
    EXPECT_EQ(loaded.GetProductName(), "Mix");
    EXPECT_EQ(loaded.GetDestinationCount(), 2u);

    CMixerControlDetailsData data;
    MIXERCONTROLDETAILS_LISTTEXT text{0x11, 0x22, {}};
    CopyMixerText(text.szName, "Mic");
    data = text;
    const Bytes dataBytes = Store(data);
    EXPECT_EQ(dataBytes, HexBytes("11 00 00 00  22 00 00 00  03 4D 69 63"));
    CMixerControlDetailsData loadedData;
    Load(loadedData, dataBytes);
    EXPECT_EQ(loadedData.GetName(), "Mic");
    EXPECT_EQ(loadedData.GetSecondParameter(), 0x22u);
}

TEST(CMixerRecordsTest, LinesSerialiseFieldByField) {
    CMixerLine line;
    line = SampleLine();
    const Bytes bytes = Store(line);
    EXPECT_EQ(bytes, HexBytes("00 00 00 00  01 00 00 00  00 00 01 00  01 00 00 80"
                              "EF BE AD DE  08 10 00 00  02 00 00 00  00 00 00 00"
                              "02 00 00 00  04 57 61 76 65  08 57 61 76 65 20 4F 75 74"
                              "01 00 00 00  03 00 00 00  FF FF 00 00  34 12 00 00"
                              "00 01 00 00  06 45 6E 67 69 6E 65"));
    CMixerLine loaded;
    Load(loaded, bytes);
    EXPECT_EQ(Store(loaded), bytes);
    EXPECT_EQ(loaded.GetTargetProductName(), "Engine");
}

TEST(CMixerRecordsTest, ControlsSerialiseTheirMetricsAsAnArray) {
    MIXERCONTROL platform =
        MakeMixerControl(3, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "V", "Vol", 0, 65535, 0x10);
    platform.Metrics.dwReserved[5] = 0xAABBCCDD;
    CMixerControl control;
    control = platform;
    const Bytes bytes = Store(control);
    EXPECT_EQ(bytes, HexBytes("03 00 00 00  01 00 03 50  00 00 00 00  00 00 00 00"
                              "01 56  03 56 6F 6C  00 00 00 00  FF FF 00 00"
                              "10 00 00 00  10 00 00 00"
                              "06 00  10 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00"
                              "00 00 00 00  DD CC BB AA"));
    CMixerControl loaded;
    Load(loaded, bytes);
    EXPECT_EQ(Store(loaded), bytes);
    EXPECT_EQ(loaded.GetMetrics().back(), 0xAABBCCDDu);

    // A count of words that are not there is refused before anything is allocated for them.
    Bytes truncated(bytes.begin(), bytes.end() - 26);
    truncated.insert(truncated.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4});
    CMixerControl refused;
    try {
        Load(refused, truncated);
        FAIL() << "a huge metrics count was accepted";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::badIndex);
    }
}

TEST(CMixerRecordsTest, ErrorTextsFollowTheResultCodes) {
    EXPECT_EQ(CMixer::ErrorText(0), "No Error");
    EXPECT_EQ(CMixer::ErrorText(7), "Memory allocation error");
    EXPECT_EQ(CMixer::ErrorText(12),
              "Handle being used simultaneously on another thread (or callback)");
    EXPECT_EQ(CMixer::ErrorText(20), "Driver does not call DriverCallback");
    EXPECT_EQ(CMixer::ErrorText(35), "Wave device is synchronous");
    EXPECT_EQ(CMixer::ErrorText(71), "MIDI through device is eating a message");
    EXPECT_EQ(CMixer::ErrorText(97), "Timer request not completed");
    EXPECT_EQ(CMixer::ErrorText(129), "Timer structure size error");
    EXPECT_EQ(CMixer::ErrorText(167), "Joystick is unplugged");
    EXPECT_EQ(CMixer::ErrorText(1024), "Mixer invalid line");
    EXPECT_EQ(CMixer::ErrorText(1026), "Mixer invalid value");
    EXPECT_EQ(CMixer::ErrorText(21), "Unknown (21)");
    EXPECT_EQ(CMixer::ErrorText(1027), "Unknown (1027)");
}

} // namespace
