#pragma once

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <memory>

// Owners of libcdio's C objects. The paranoia drive borrows the CdIo_t it was made from, so a
// paranoia reader is destroyed before its drive, and the drive before the CdIo_t.

struct CdIoDeleter {
    void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
struct CddaDriveDeleter {
    void operator()(cdrom_drive_t* d) const { cdio_cddap_close_no_free_cdio(d); }
};
struct ParanoiaDeleter {
    void operator()(cdrom_paranoia_t* p) const { cdio_paranoia_free(p); }
};

using CdIoPtr = std::unique_ptr<CdIo_t, CdIoDeleter>;
using CddaDrivePtr = std::unique_ptr<cdrom_drive_t, CddaDriveDeleter>;
using ParanoiaPtr = std::unique_ptr<cdrom_paranoia_t, ParanoiaDeleter>;
