#pragma once

#include "platform/classlib/CObject.h"
#include "platform/mixerapi/MixerApi.h"

#include <string>

/// One value of a control: a channel's (or item's) value, or one item text of a list control.
///
/// Serialised (schema 1): value, second parameter (32-bit little-endian words), name (archive
/// string).
class CMixerControlDetailsData : public CObject {
    QUILLON_DECLARE_SERIAL(CMixerControlDetailsData)
public:
    CMixerControlDetailsData() = default;
    CMixerControlDetailsData(const CMixerControlDetailsData& other) = default;
    ~CMixerControlDetailsData() override = default;

    void Serialize(CArchive& ar) override;

    // Each takes the platform's 32-bit details word: value = that word, second parameter 0,
    // name empty.
    virtual void SetUnsigned(const MIXERCONTROLDETAILS_UNSIGNED& details);
    virtual void SetSigned(const MIXERCONTROLDETAILS_SIGNED& details);
    virtual void SetBoolean(const MIXERCONTROLDETAILS_BOOLEAN& details);
    /// value = dwParam1, second parameter = dwParam2, name = szName.
    virtual void SetListText(const MIXERCONTROLDETAILS_LISTTEXT& details);
    virtual void Copy(const CMixerControlDetailsData& other);
    virtual void Reset();
    CMixerControlDetailsData& operator=(const MIXERCONTROLDETAILS_UNSIGNED& details);
    CMixerControlDetailsData& operator=(const MIXERCONTROLDETAILS_SIGNED& details);
    CMixerControlDetailsData& operator=(const MIXERCONTROLDETAILS_BOOLEAN& details);
    CMixerControlDetailsData& operator=(const MIXERCONTROLDETAILS_LISTTEXT& details);
    CMixerControlDetailsData& operator=(const CMixerControlDetailsData& other);

    /// The value as an unsigned word (a signed value keeps its bits).
    DWORD GetValue() const { return m_value; }
    DWORD GetSecondParameter() const { return m_param2; }
    const std::string& GetName() const { return m_name; }

private:
    DWORD m_value = 0;
    DWORD m_param2 = 0;
    std::string m_name;
};
