#pragma once

#include "platform/classlib/CObject.h"
#include "platform/mixerapi/MixerApi.h"

#include <string>

/// A mixer device's capabilities, copied from MIXERCAPS.
///
/// Serialised (schema 1) in field order: manufacturer id, product id, driver version (32-bit
/// little-endian words), product name (archive string), support flags, destination count.
class CMixerCapabilities : public CObject {
    QUILLON_DECLARE_SERIAL(CMixerCapabilities)
public:
    CMixerCapabilities() = default;
    CMixerCapabilities(const CMixerCapabilities& other) = default;
    ~CMixerCapabilities() override = default;

    void Serialize(CArchive& ar) override;

    virtual void Set(const MIXERCAPS& caps);
    virtual void Copy(const CMixerCapabilities& other);
    /// All numbers 0, name empty.
    virtual void Reset();
    /// Reads the capabilities of a device; on failure the object is reset and false returned.
    virtual bool Get(UINT deviceId);
    CMixerCapabilities& operator=(const MIXERCAPS& caps);
    CMixerCapabilities& operator=(const CMixerCapabilities& other);

    DWORD GetManufacturerId() const { return m_manufacturerId; }
    DWORD GetProductId() const { return m_productId; }
    DWORD GetDriverVersion() const { return m_driverVersion; }
    const std::string& GetProductName() const { return m_productName; }
    DWORD GetSupport() const { return m_support; }
    DWORD GetDestinationCount() const { return m_destinationCount; }

private:
    DWORD m_manufacturerId = 0;
    DWORD m_productId = 0;
    DWORD m_driverVersion = 0;
    std::string m_productName;
    DWORD m_support = 0;
    DWORD m_destinationCount = 0;
};
