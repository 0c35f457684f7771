// aglSegment: one data segment, the only place where an array's elements live.
//
// A segment is either an agl file mapped in place or a named block of POSIX
// shared memory. It starts with a self-describing header (magic, language,
// element type, slot count, extents, lower bounds) followed by the elements;
// anything after the elements in a file is the trailer. One process creates
// or opens a segment and others (or the graph control in the same process)
// open it again by name and read the elements in place.
//
// Failures are reported as a false/none result plus an error code kept in the
// object (takeError() reads and clears it); nothing is thrown. The object is
// not locked: one thread uses it at a time. Destruction releases the mapping,
// the descriptor and, for the last holder of a shared-memory block, the block.
#pragma once

#include "FileStamp.h"
#include "aglNpy.h"
#include "aglTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

class aglSegment {
public:
    // Longest segment name, in bytes. Longer names are refused (never cut)
    // when a segment is created, and are no shared-memory block when opened.
    static constexpr size_t kMaxNameLength = 512;

    aglSegment() = default;
    ~aglSegment();
    aglSegment(const aglSegment&) = delete;
    aglSegment& operator=(const aglSegment&) = delete;

    // Opens an existing segment: name is tried as a file path first, then as
    // the name of a shared-memory block. Read-only maps without write access.
    // A NumPy file (".npy") is a segment too, mapped in place read-only: its
    // header is described by a segment header kept in this object.
    bool open(const std::string& name, bool readOnly);

    // Interprets memory that already holds a segment image (for example one
    // embedded in a file's trailer). available bounds what may be read from
    // address; the header and every element it claims must fit in it. Never
    // writable; maps and owns nothing.
    bool viewInPlace(const void* address, size_t available);

    // Creates a new writable segment of n slots (1..7). With a name, the file
    // of that path is opened or created and sized to hold the segment (a longer
    // file keeps its tail as the trailer; truncateFile drops it instead).
    // Without one, a shared-memory block with a generated name is made.
    bool create(const char* name, int slots, const int32_t* extents, int type, int language,
                bool truncateFile = false);

    // Creates a new writable segment in this process's own memory: no name,
    // nothing another program can open, and quick to make and fill (large
    // pages where the system gives them). For snapshots such as a copied
    // block. Without takePages the element area is only reserved; its
    // pages come as it is written (see platform::takePages).
    bool createPrivate(int slots, const int32_t* extents, int type, int language,
                       bool takePages = true);

    // Creates a new shared-memory block (generated name) whose memory is not
    // claimed up front: the pages are taken as they are first written. For a
    // block another process fills whole at once (the HDF helper writes its
    // values straight into it), which then takes the memory while it reads
    // instead of this process zeroing all of it first. A write into it may
    // fault (SIGBUS) when the system's shared memory is full: only for
    // writers that can afford that, such as a helper process.
    bool createUnreserved(int slots, const int32_t* extents, int type, int language);

    // Creates a new shared-memory block of the given name (for client
    // programs that hand arrays to the viewer by a name of their choosing).
    // Fails with AGL_E_EXISTS when a block of that name exists.
    bool createShared(const std::string& name, int slots, const int32_t* extents, int type,
                      int language);

    // A new shared-memory block (generated name) with other's slots, extents,
    // type, language, lower bounds and elements.
    bool copyOf(const aglSegment& other);

    // Re-labels a writable segment in place; the byte size must not change.
    bool reshape(int dims, const int32_t* extents, int type);

    int slotCount() const;
    int32_t extent(int i) const;
    int32_t lowerBound(int i) const;
    bool setLowerBound(int i, int32_t value);

    // Address of the first element, or nullptr when nothing is mapped.
    void* elements() const;
    // Returns the last error code and resets it to 0.
    int takeError();
    int peekError() const { return m_error; }

    const std::string& name() const { return m_name; }
    bool isValid() const { return m_valid; }
    bool isWritable() const { return m_writable; }
    bool isFortran() const { return m_fortran; }
    bool isFixedForm() const { return m_fixedForm; }
    bool isFileBacked() const { return m_fileBacked; }
    bool isSharedMemory() const { return m_shmObject.size() > 0; }
    // A mapped NumPy file: base() is the file's own header, not a segment's.
    bool isNumpy() const { return m_npy; }
    int language() const { return m_fortran ? AGL_LANG_FORTRAN : AGL_LANG_C; }
    int dimCount() const { return m_dims; }
    int typeCode() const { return m_type; }
    int elementSize() const { return m_elementSize; }
    int numericClass() const { return m_numericClass; }
    int headerSize() const { return m_headerSize; }
    int64_t elementCount() const { return m_elementCount; }
    // Header plus element bytes.
    uint64_t neededSize() const {
        return uint64_t(m_headerSize) + uint64_t(m_elementSize) * uint64_t(m_elementCount);
    }
    // The file's size for a file, else header plus elements.
    uint64_t totalSize() const { return m_totalSize; }
    const uint8_t* base() const { return m_base; }
    // First byte after the elements when the file is longer, else nullptr.
    const uint8_t* trailer() const { return m_trailer; }
    uint64_t trailerSize() const { return m_trailer ? m_totalSize - neededSize() : 0; }

    // The mapped file or block as it was when mapped: its identity (device,
    // inode), size and modification time. Invalid before a mapping.
    const platform::FileStamp& fileStamp() const { return m_stamp; }
    // The open descriptor behind the mapping, or -1.
    int descriptor() const { return m_fd; }
    // Pages of the mapping that faulted because the file shrank underneath
    // (they now read as zeros). Non-zero means the data is no longer trusted.
    int truncationFaults() const;

    // The per-process count of segment objects initialised so far.
    static int initCount();

private:
    void initialise(const char* name);
    bool checkHeader(uint64_t available);
    bool describeNpy();
    // The segment header: the mapping's, or the one made for a NumPy file.
    const uint8_t* head() const { return m_npy ? m_npyHeader : m_base; }
    bool createGenerated(bool reserve, int slots, const int32_t* extents, int type, int language);
    bool createBlock(const std::string& name, bool reserve, int slots, const int32_t* extents,
                     int type, int language);
    bool describeNew(int slots, const int32_t* extents, int type);
    bool checkExtents(int count, const int32_t* extents, int& dims, int64_t& elements);
    void writeHeader(int slots, const int32_t* extents, int language);
    bool mapDescriptor(uint64_t size, bool writable);
    void fail(int code);
    void unmapAll();

    int m_fd = -1;
    std::string m_shmObject; // "/agl-..." when this is a shared-memory block
    bool m_fileBacked = false;
    uint64_t m_totalSize = 0;
    std::string m_name;
    uint8_t* m_base = nullptr;
    size_t m_mappedLength = 0; // bytes this object mapped (0 for view in place)
    bool m_anonymous = false;  // the mapping is private memory (createPrivate)
    const uint8_t* m_trailer = nullptr;
    int32_t* m_extents = nullptr;
    int32_t* m_lowerBounds = nullptr;
    int m_elementSize = 1;
    int64_t m_elementCount = 0;
    int m_numericClass = AGL_CLASS_UNSIGNED;
    int m_type = AGL_UCHAR;
    bool m_valid = false;
    bool m_writable = false;
    int m_dims = 0;
    bool m_fortran = false;
    bool m_fixedForm = false;
    int m_headerSize = 0;
    bool m_npy = false;
    alignas(4) uint8_t m_npyHeader[12 + 8 * agl::kMaxDims] = {};
    int m_error = 0;
    int m_guard = -1;
    platform::FileStamp m_stamp;
};
