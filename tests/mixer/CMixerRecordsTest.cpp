#include "mixer/CMixer.h"
#include "mixer/CMixerCapabilities.h"
#include "mixer/CMixerControl.h"
#include "mixer/CMixerControlDetailsData.h"
#include "mixer/CMixerLine.h"

#include "platform/classlib/CArchive.h"
#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"
#include "tests/platform/mixerapi/TestMixerDevices.h"
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

/// What one of a line record's text getters gives, over a string that held something before.
std::string LineText(const MIXERLINE& platform, void (CMixerLine::*getter)(std::string&) const) {
    CMixerLine line;
    line = platform;
    std::string text = "previous";
    (line.*getter)(text);
    return text;
}

std::string ComponentText(DWORD type) {
    MIXERLINE line{};
    line.dwComponentType = type;
    return LineText(line, &CMixerLine::GetComponentTypeText);
}

CMixerControl ControlOfType(DWORD type, DWORD flags = 0) {
    CMixerControl control;
    control = MakeMixerControl(1, type, flags, "", "", 0, 0, 0);
    return control;
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

TEST(CMixerRecordsTest, TypeStatusAndErrorTextsMarkWhatTheyDoNotKnow) {
    // The end of a range, and the first type past it.
    EXPECT_EQ(ComponentText(8), "Voice In Destination");
    EXPECT_EQ(ComponentText(9), "Unknown (9)");
    EXPECT_EQ(ComponentText(0x100A), "Analog Source");
    EXPECT_EQ(ComponentText(0xFFFFFFFF), "Unknown (4294967295)");
    MIXERLINE line{};
    line.Target.dwType = 6;
    EXPECT_EQ(LineText(line, &CMixerLine::GetTargetTypeText), "Unknown (6)");

    line.fdwLine = 0x80008001;
    EXPECT_EQ(LineText(line, &CMixerLine::GetStatusText), "Active, Disconnected, Source");
    line.fdwLine = 0x7FFF7FFE;
    EXPECT_EQ(LineText(line, &CMixerLine::GetStatusText), "")
        << "other bits say nothing, and the text starts empty";

    std::string text = "unchanged";
    ControlOfType(0x50030001).GetControlTypeText(text);
    EXPECT_EQ(text, "Volume Fader");
    ControlOfType(0x50030005).GetControlTypeText(text);
    EXPECT_EQ(text, "Volume Fader") << "an unknown control leaves the string";

    EXPECT_EQ(CMixer::ErrorText(1026), "Mixer invalid value");
    EXPECT_EQ(CMixer::ErrorText(21), "Unknown (21)") << "a gap between the ranges";
    EXPECT_EQ(CMixer::ErrorText(1027), "Unknown (1027)");

    // Class and units outside the known ones count as custom.
    const CMixerControl odd = ControlOfType(0x80060000);
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
    CMixerControl copy;
    copy = control;
    EXPECT_EQ(copy.GetMetrics(), control.GetMetrics());
    copy.Reset();
    EXPECT_TRUE(copy.GetMetrics().empty());

    // A name filling its whole field, with no terminator, is kept whole.
    MIXERLINE platformLine = SampleLine();
    std::memset(platformLine.szShortName, 'S', sizeof platformLine.szShortName);
    CMixerLine line;
    line = platformLine;
    EXPECT_EQ(line.GetShortName(), std::string(16, 'S'));

    CMixerControlDetailsData data;
    MIXERCONTROLDETAILS_LISTTEXT text{5, 6, {}};
    CopyMixerText(text.szName, "Microphone");
    data = text;
    data = MIXERCONTROLDETAILS_SIGNED{-3};
    EXPECT_EQ(data.GetValue(), 0xFFFFFFFDu);
    EXPECT_EQ(data.GetSecondParameter(), 0u);
    EXPECT_EQ(data.GetName(), "") << "a value clears the name of a list item";
}

TEST(CMixerRecordsTest, CapabilitiesLinesAndDetailsSerialiseFieldByField) {
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

    CMixerControlDetailsData data;
    MIXERCONTROLDETAILS_LISTTEXT text{0x11, 0x22, {}};
    CopyMixerText(text.szName, "Mic");
    data = text;
    const Bytes dataBytes = Store(data);
    EXPECT_EQ(dataBytes, HexBytes("11 00 00 00  22 00 00 00  03 4D 69 63"));
    CMixerControlDetailsData loadedData;
    Load(loadedData, dataBytes);
    EXPECT_EQ(Store(loadedData), dataBytes);

    CMixerLine line;
    line = SampleLine();
    const Bytes lineBytes = Store(line);
    EXPECT_EQ(lineBytes, HexBytes("00 00 00 00  01 00 00 00  00 00 01 00  01 00 00 80"
                                  "EF BE AD DE  08 10 00 00  02 00 00 00  00 00 00 00"
                                  "02 00 00 00  04 57 61 76 65  08 57 61 76 65 20 4F 75 74"
                                  "01 00 00 00  03 00 00 00  FF FF 00 00  34 12 00 00"
                                  "00 01 00 00  06 45 6E 67 69 6E 65"));
    CMixerLine loadedLine;
    Load(loadedLine, lineBytes);
    EXPECT_EQ(Store(loadedLine), lineBytes);
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

TEST(CMixerRecordsTest, AMixerSerialisesItsDeviceIdentifierAndOpensItOnLoading) {
    ScopedMixerDevices devices({NewSoftMixer(), NewSoftMixer()});
    CMixer mixer;
    ASSERT_TRUE(mixer.Open(1, 0, 0, 0));
    const Bytes bytes = Store(mixer);
    EXPECT_EQ(bytes, HexBytes("01 00 00 00"));
    CMixer loaded;
    Load(loaded, bytes);
    EXPECT_EQ(loaded.GetDeviceId(), 1u);
    EXPECT_NE(loaded.GetHandle(), nullptr);
}

} // namespace
