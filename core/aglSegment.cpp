#include "aglSegment.h"

#include "MappingGuard.h"
#include "MemoryRelease.h"
#include "ShmName.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<int> g_initCount{0};

int32_t readI32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void writeI32(uint8_t* p, int32_t v) {
    std::memcpy(p, &v, 4);
}

std::string slashed(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

// The executable's path, as the first part of generated names.
std::string executablePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "agl";
    buf[n] = 0;
    return buf;
}

// True when the shared-memory object name still names the object behind fd.
bool stillLinked(const std::string& object, int fd) {
    int again = shm_open(object.c_str(), O_RDONLY, 0);
    if (again < 0) return false;
    struct stat a {
    }, b{};
    bool same =
        fstat(fd, &a) == 0 && fstat(again, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    close(again);
    return same;
}

} // namespace

aglSegment::~aglSegment() {
    unmapAll();
}

int aglSegment::initCount() {
    return g_initCount.load();
}

void aglSegment::initialise(const char* name) {
    unmapAll();
    g_initCount.fetch_add(1);
    m_totalSize = 0;
    m_elementCount = 0;
    m_error = 0;
    m_name = name ? slashed(name) : std::string();
    m_elementSize = 1;
    m_numericClass = AGL_CLASS_UNSIGNED;
    m_type = AGL_UCHAR;
    m_valid = m_writable = m_fortran = m_fixedForm = m_fileBacked = m_npy = false;
    m_dims = 0;
    m_headerSize = 0;
    m_trailer = nullptr;
    m_extents = m_lowerBounds = nullptr;
    m_stamp = platform::FileStamp{};
}

void aglSegment::unmapAll() {
    if (m_guard >= 0) {
        platform::unguardMapping(m_guard);
        m_guard = -1;
    }
    if (m_mappedLength > 0 && m_base) {
        // Private memory goes a piece at a time: another thread that maps
        // memory meanwhile (the next Copy's block) is not kept waiting.
        if (m_anonymous) platform::dropPagesInSteps(m_base, m_mappedLength);
        munmap(m_base, m_mappedLength);
    }
    m_mappedLength = 0;
    m_anonymous = false;
    m_base = nullptr;
    if (m_fd >= 0) {
        // The last holder of a shared-memory block removes its name.
        if (!m_shmObject.empty() && flock(m_fd, LOCK_EX | LOCK_NB) == 0 &&
            stillLinked(m_shmObject, m_fd))
            shm_unlink(m_shmObject.c_str());
        close(m_fd);
        m_fd = -1;
    }
    m_shmObject.clear();
    m_valid = m_writable = false;
    m_trailer = nullptr;
    m_extents = m_lowerBounds = nullptr;
}

void aglSegment::fail(int code) {
    unmapAll();
    m_error = code;
}

int aglSegment::takeError() {
    int e = m_error;
    m_error = 0;
    return e;
}

int aglSegment::truncationFaults() const {
    return platform::faultCount(m_guard);
}

bool aglSegment::mapDescriptor(uint64_t size, bool writable) {
    if (size > SIZE_MAX) {
        fail(AGL_E_MAPVIEW);
        return false;
    }
    void* p =
        mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, m_fd, 0);
    if (p == MAP_FAILED) {
        fail(AGL_E_MAPVIEW);
        return false;
    }
    m_base = static_cast<uint8_t*>(p);
    m_mappedLength = size;
    // The header check faults in the first page only. Without this the
    // kernel reads ahead megabytes of elements around that first fault on
    // every open; advising just the first page splits it off, so the
    // element pages keep the default read-ahead for passes that want it.
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    if (size > page) madvise(p, page, MADV_RANDOM);
    m_guard = platform::guardMapping(p, size);
    return true;
}

bool aglSegment::open(const std::string& rawName, bool readOnly) {
    initialise(rawName.c_str());
    const std::string& name = m_name;

    // 1. A file of that name. O_NONBLOCK so that a FIFO never hangs us; only
    //    regular files are accepted as files.
    int fd = name.empty() ? -1
                          : ::open(name.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_NONBLOCK |
                                                     O_CLOEXEC | O_NOCTTY);
    platform::FileStamp stamp;
    if (fd >= 0 && !(stamp = platform::FileStamp::ofDescriptor(fd)).isRegularFile()) {
        close(fd);
        fd = -1;
    }
    if (fd >= 0) {
        m_fd = fd;
        m_fileBacked = true;
    } else {
        // 2. A shared-memory block of that name (no block has a longer one).
        const std::string object = platform::shmObjectName(name);
        fd = name.empty() || name.size() > kMaxNameLength
                 ? -1
                 : shm_open(object.c_str(), readOnly ? O_RDONLY : O_RDWR, 0);
        if (fd < 0) {
            fail(AGL_E_OPEN);
            return false;
        }
        m_fd = fd;
        // Hold the block; if its last holder removed it meanwhile, it is gone.
        if (flock(fd, LOCK_SH) != 0 || !stillLinked(object, fd) ||
            !(stamp = platform::FileStamp::ofDescriptor(fd)).valid) {
            fail(AGL_E_OPEN);
            return false;
        }
        m_shmObject = object;
    }

    // 3. The size: the header check needs at least 13 bytes.
    if (stamp.size < agl::kMinFileSize) {
        fail(AGL_E_FORMAT);
        return false;
    }
    m_totalSize = uint64_t(stamp.size);
    m_stamp = stamp;

    // 4. Map it whole.
    if (!mapDescriptor(m_totalSize, !readOnly)) return false;

    // 5. Check the header: a NumPy file's, or the segment's own.
    if (agl::isNpySignature(m_base, size_t(m_totalSize))) {
        if (!readOnly) {
            fail(AGL_E_READONLY);
            return false;
        }
        if (!describeNpy()) {
            fail(m_error);
            return false;
        }
        m_valid = true;
        return true;
    }
    if (!checkHeader(m_totalSize)) {
        fail(m_error);
        return false;
    }
    m_valid = true;
    m_writable = !readOnly;
    return true;
}

bool aglSegment::viewInPlace(const void* address, size_t available) {
    initialise(nullptr);
    if (!address || available < size_t(agl::kMinFileSize)) {
        m_error = AGL_E_FORMAT;
        return false;
    }
    m_base = static_cast<uint8_t*>(const_cast<void*>(address));
    m_totalSize = 0; // unknown until the header is read
    if (!checkHeader(available)) {
        m_base = nullptr;
        return false;
    }
    m_valid = true;
    return true;
}

// Describes a mapped NumPy file: its header becomes a segment header of our
// own (kept in the object), the elements stay where they are in the file.
bool aglSegment::describeNpy() {
    aglNpyLayout layout;
    std::string reason;
    // Types that need converting cannot be mapped: their reader makes a copy.
    if (!agl::parseNpyHeader(m_base, size_t(m_totalSize), layout, reason) ||
        layout.storage != aglNpyStorage::InPlace) {
        m_error = AGL_E_FORMAT;
        return false;
    }
    m_npy = true;
    std::memset(m_npyHeader, 0, sizeof m_npyHeader);
    std::memcpy(m_npyHeader, &agl::kMagicNormal, 4);
    m_npyHeader[4] = uint8_t(layout.language);
    m_npyHeader[5] = uint8_t(layout.type - AGL_UCHAR);
    m_npyHeader[6] = uint8_t(layout.dims);
    for (int i = 0; i < layout.dims; ++i) {
        writeI32(m_npyHeader + 12 + 4 * i, layout.extents[i]);
        writeI32(m_npyHeader + 12 + 4 * layout.dims + 4 * i,
                 layout.language == AGL_LANG_FORTRAN ? 1 : 0);
    }
    m_extents = reinterpret_cast<int32_t*>(m_npyHeader + 12);
    m_lowerBounds = reinterpret_cast<int32_t*>(m_npyHeader + 12 + 4 * layout.dims);
    m_fortran = layout.language == AGL_LANG_FORTRAN;
    const agl::TypeInfo& ti = agl::typeInfo(layout.type);
    m_type = ti.code;
    m_elementSize = ti.size;
    m_numericClass = ti.numericClass;
    m_headerSize = int(layout.dataOffset);
    m_dims = layout.dims;
    m_elementCount = layout.elementCount;
    m_trailer = nullptr;
    if (m_totalSize < neededSize()) {
        m_error = AGL_E_FORMAT;
        return false;
    }
    return true;
}

// Checks the header at m_base. available bounds every read; when the total
// size is known it must also hold all the elements claimed.
bool aglSegment::checkHeader(uint64_t available) {
    uint32_t magic;
    std::memcpy(&magic, m_base, 4);
    if (magic == agl::kMagicFixed)
        m_fixedForm = true;
    else if (magic != agl::kMagicNormal) {
        m_error = AGL_E_FORMAT;
        return false;
    }
    const uint8_t language = m_base[4];
    if (language != AGL_LANG_C && language != AGL_LANG_FORTRAN) {
        m_error = AGL_E_FORMAT;
        return false;
    }
    m_fortran = language == AGL_LANG_FORTRAN;
    const agl::TypeInfo& ti = agl::typeInfo(m_base[5]);
    m_type = ti.code;
    m_elementSize = ti.size;
    m_numericClass = ti.numericClass;

    int slots;
    if (m_fixedForm) {
        slots = agl::kMaxDims;
        m_headerSize = agl::kFixedHeaderSize;
    } else {
        slots = m_base[6];
        if (slots < 1 || slots > agl::kMaxDims) {
            m_error = AGL_E_RANK;
            return false;
        }
        m_headerSize = 12 + 8 * slots;
    }
    if (available < uint64_t(m_headerSize)) {
        m_error = AGL_E_FORMAT;
        return false;
    }
    m_extents = reinterpret_cast<int32_t*>(m_base + 12);
    m_lowerBounds = reinterpret_cast<int32_t*>(m_base + (m_fixedForm ? 40 : 12 + 4 * slots));

    int32_t ext[agl::kMaxDims];
    for (int i = 0; i < slots; ++i)
        ext[i] = readI32(m_base + 12 + 4 * i);
    int dims = 0;
    int64_t count = 0;
    if (!checkExtents(slots, ext, dims, count)) return false;
    m_dims = dims;
    m_elementCount = count;

    const uint64_t needed = neededSize();
    if (m_totalSize != 0) {
        if (m_totalSize < needed) {
            m_error = AGL_E_FORMAT;
            return false;
        }
        if (m_totalSize > needed) m_trailer = m_base + needed;
    } else {
        if (available < needed) {
            m_error = AGL_E_FORMAT;
            return false;
        }
        m_totalSize = needed;
    }
    if (m_dims == 0) {
        m_error = AGL_E_RANK;
        return false;
    }
    // A Fortran dimension's upper bound (lower + extent - 1) must be a 32-bit
    // index like the lower one: beyond it the subscripts shown and written
    // as text would wrap, and the text could not be read back.
    if (m_fortran) {
        for (int i = 0; i < m_dims; ++i) {
            const int64_t lower = readI32(reinterpret_cast<const uint8_t*>(m_lowerBounds) + 4 * i);
            if (lower + int64_t(readI32(m_base + 12 + 4 * i)) - 1 > INT32_MAX) {
                m_error = AGL_E_EXTENT;
                return false;
            }
        }
    }
    return true;
}

// Extents check shared by header check, create and reshape: each extent is
// 0..2^30, the first 0 ends the dimensions, the product stays within 2^30.
bool aglSegment::checkExtents(int count, const int32_t* extents, int& dims, int64_t& elements) {
    dims = 0;
    elements = 1;
    for (int i = 0; i < count; ++i) {
        const int32_t e = extents[i];
        if (e < 0 || e > agl::kMaxElements) {
            m_error = AGL_E_EXTENT;
            return false;
        }
        if (e == 0) break;
        ++dims;
        if (double(elements) * double(e) > double(agl::kMaxElements)) {
            m_error = AGL_E_TOO_LARGE;
            return false;
        }
        elements *= e;
    }
    if (dims == 0) elements = 0;
    return true;
}

void aglSegment::writeHeader(int slots, const int32_t* extents, int language) {
    std::memset(m_base, 0, size_t(m_headerSize));
    std::memcpy(m_base, &agl::kMagicNormal, 4);
    m_base[4] = language == AGL_LANG_FORTRAN ? 2 : 1;
    m_base[5] = uint8_t(m_type - AGL_UCHAR);
    m_base[6] = uint8_t(slots);
    m_extents = reinterpret_cast<int32_t*>(m_base + 12);
    m_lowerBounds = reinterpret_cast<int32_t*>(m_base + 12 + 4 * slots);
    for (int i = 0; i < m_dims; ++i)
        writeI32(m_base + 12 + 4 * i, extents[i]);
    // Every slot gets the language's default lower bound, so a segment made
    // for later reshaping has sensible bounds in the dimensions it grows.
    for (int i = 0; i < slots; ++i)
        writeI32(m_base + 12 + 4 * slots + 4 * i, language == AGL_LANG_FORTRAN ? 1 : 0);
    m_fortran = language == AGL_LANG_FORTRAN;
}

// The type, dimensions, counts and header size of a segment about to be
// created, checked as the header check does.
bool aglSegment::describeNew(int slots, const int32_t* extents, int type) {
    m_type = agl::normalizeType(type);
    const agl::TypeInfo& ti = agl::typeInfo(m_type);
    m_elementSize = ti.size;
    m_numericClass = ti.numericClass;
    if (slots < 1 || slots > agl::kMaxDims || !extents) {
        m_error = AGL_E_RANK;
        return false;
    }
    int dims = 0;
    int64_t count = 0;
    if (!checkExtents(slots, extents, dims, count)) return false;
    m_dims = dims;
    m_elementCount = count;
    m_headerSize = 12 + 8 * slots;
    return true;
}

bool aglSegment::createGenerated(bool reserve, int slots, const int32_t* extents, int type,
                                 int language) {
    // Generated names can collide with a block made by another process
    // started at the same moment: take the next counter and try again.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const int number = g_initCount.load();
        char tail[64];
        std::snprintf(tail, sizeof tail, "@%d@%ld", number, long(clock()));
        const std::string generated = slashed(executablePath() + tail);
        if (createBlock(generated, reserve, slots, extents, type, language)) return true;
        if (m_error != AGL_E_EXISTS) return false;
    }
    return false;
}

bool aglSegment::createUnreserved(int slots, const int32_t* extents, int type, int language) {
    return createGenerated(false, slots, extents, type, language);
}

bool aglSegment::create(const char* rawName, int slots, const int32_t* extents, int type,
                        int language, bool truncateFile) {
    if (!rawName) return createGenerated(true, slots, extents, type, language);

    std::string name(rawName);
    if (name.size() > kMaxNameLength) {
        // Refused, never cut: two long names with one prefix would meet.
        initialise(nullptr);
        m_error = AGL_E_OPEN;
        return false;
    }
    initialise(name.c_str());
    if (!describeNew(slots, extents, type)) return false;
    const uint64_t total = neededSize();

    m_fd = ::open(
        m_name.c_str(),
        O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (truncateFile ? O_TRUNC : 0), 0666);
    const platform::FileStamp before = platform::FileStamp::ofDescriptor(m_fd);
    if (m_fd < 0 || !before.isRegularFile()) {
        fail(AGL_E_OPEN);
        return false;
    }
    m_fileBacked = true;
    uint64_t size = uint64_t(before.size);
    if (size < total) {
        // Reserve the space now so a full disk fails here, not on first write.
        if (ftruncate(m_fd, off_t(total)) != 0 ||
            posix_fallocate(m_fd, off_t(size), off_t(total - size)) != 0) {
            if (ftruncate(m_fd, off_t(size)) != 0) { /* keep the old size if we can */
            }
            fail(AGL_E_MAPPING);
            return false;
        }
        size = total;
    }
    m_stamp = platform::FileStamp::ofDescriptor(m_fd);
    if (!mapDescriptor(size, true)) return false;
    writeHeader(slots, extents, language);
    m_totalSize = size;
    if (size > total) m_trailer = m_base + total;
    m_writable = m_valid = true;
    return true;
}

bool aglSegment::createShared(const std::string& name, int slots, const int32_t* extents, int type,
                              int language) {
    const std::string& n = name;
    if (n.empty() || n.size() > kMaxNameLength) {
        initialise(nullptr);
        m_error = AGL_E_OPEN;
        return false;
    }
    return createBlock(slashed(n), true, slots, extents, type, language);
}

bool aglSegment::createBlock(const std::string& name, bool reserve, int slots,
                             const int32_t* extents, int type, int language) {
    initialise(name.c_str());
    if (!describeNew(slots, extents, type)) return false;
    const uint64_t total = neededSize();

    const std::string object = platform::shmObjectName(m_name);
    m_fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    // A block of that name that nobody holds was left by a process that
    // died: it is swept, and the name is free again.
    int err = m_fd < 0 ? errno : 0;
    if (err == EEXIST &&
        platform::removeAbandonedBlock(object) == platform::RemoveResult::Removed) {
        m_fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        err = m_fd < 0 ? errno : 0;
    }
    if (m_fd < 0) {
        fail(err == EEXIST ? AGL_E_EXISTS : AGL_E_MAPPING);
        return false;
    }
    flock(m_fd, LOCK_SH);
    m_shmObject = object;
    int rc = ftruncate(m_fd, off_t(total));
    // Claimed up front, the memory is there for every later write (no
    // SIGBUS on a full /dev/shm); unreserved, only the header's page is.
    if (rc == 0) rc = posix_fallocate(m_fd, 0, reserve ? off_t(total) : off_t(1));
    if (rc != 0) {
        fail(AGL_E_MAPPING);
        return false;
    }
    m_stamp = platform::FileStamp::ofDescriptor(m_fd);
    if (!mapDescriptor(total, true)) return false;
    writeHeader(slots, extents, language);
    m_totalSize = total;
    m_writable = m_valid = true;
    return true;
}

bool aglSegment::createPrivate(int slots, const int32_t* extents, int type, int language,
                               bool takePages) {
    initialise(nullptr);
    if (!describeNew(slots, extents, type)) return false;
    const uint64_t total = neededSize();
    if (total > SIZE_MAX) {
        fail(AGL_E_MAPPING);
        return false;
    }
    void* p =
        mmap(nullptr, size_t(total), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        fail(AGL_E_MAPPING);
        return false;
    }
    // A block of megabytes is written at once: large pages take it in a
    // few faults instead of one per 4 KiB page.
    madvise(p, size_t(total), MADV_HUGEPAGE);
    if (takePages) platform::takePages(p, size_t(total));
    m_base = static_cast<uint8_t*>(p);
    m_mappedLength = size_t(total);
    m_anonymous = true;
    writeHeader(slots, extents, language);
    m_totalSize = total;
    m_writable = m_valid = true;
    return true;
}

bool aglSegment::copyOf(const aglSegment& other) {
    if (!other.isValid()) {
        initialise(nullptr);
        m_error = AGL_E_OPEN;
        return false;
    }
    // Another program may rewrite the header under us at any moment: the
    // extents are read once, and the copy goes ahead only when that snapshot
    // still describes the mapping as it was opened (the element count and
    // rank the mapping was sized and checked for). A copy sized from one
    // header and filled from another would run past one of the two blocks.
    const int slots = other.slotCount();
    if (slots < 1 || slots > agl::kMaxDims) {
        initialise(nullptr);
        m_error = AGL_E_FORMAT;
        return false;
    }
    int32_t ext[agl::kMaxDims] = {};
    for (int i = 0; i < slots; ++i)
        ext[i] = readI32(other.head() + 12 + 4 * i);
    int dims = 0;
    int64_t count = 0;
    if (!checkExtents(slots, ext, dims, count) || dims != other.dimCount() ||
        count != other.elementCount()) {
        initialise(nullptr);
        m_error = AGL_E_FORMAT;
        return false;
    }
    if (!create(nullptr, slots, ext, other.typeCode(), other.language())) return false;
    for (int i = 0; i < m_dims; ++i)
        setLowerBound(i, other.lowerBound(i));
    std::memcpy(elements(), other.elements(), size_t(count) * size_t(m_elementSize));
    return true;
}

bool aglSegment::reshape(int dims, const int32_t* extents, int type) {
    if (!m_writable || !m_valid) {
        m_error = AGL_E_READONLY;
        return false;
    }
    if (dims < 1 || dims > slotCount() || !extents) {
        m_error = AGL_E_RANK;
        return false;
    }
    const int newType = agl::isTypeCode(type) ? type : AGL_UCHAR;
    int newDims = 0;
    int64_t newCount = 0;
    if (!checkExtents(dims, extents, newDims, newCount)) return false;
    if (newDims == 0) {
        m_error = AGL_E_RANK;
        return false;
    }
    const agl::TypeInfo& ti = agl::typeInfo(newType);
    if (uint64_t(ti.size) * uint64_t(newCount) !=
        uint64_t(m_elementSize) * uint64_t(m_elementCount)) {
        m_error = AGL_E_SIZE;
        return false;
    }
    m_type = newType;
    m_elementSize = ti.size;
    m_numericClass = ti.numericClass;
    m_dims = newDims;
    m_elementCount = newCount;
    m_base[5] = uint8_t(newType - AGL_UCHAR);
    for (int i = 0; i < slotCount(); ++i)
        writeI32(m_base + 12 + 4 * i, i < dims ? extents[i] : 0);
    return true;
}

int aglSegment::slotCount() const {
    if (!m_base) return 0;
    return m_fixedForm ? agl::kMaxDims : head()[6];
}

int32_t aglSegment::extent(int i) const {
    if (!m_valid || i < 0 || i >= m_dims) return 0;
    return readI32(head() + 12 + 4 * i);
}

int32_t aglSegment::lowerBound(int i) const {
    if (m_valid && i >= 0 && i < m_dims)
        return readI32(reinterpret_cast<const uint8_t*>(m_lowerBounds) + 4 * i);
    return m_fortran ? 1 : 0;
}

bool aglSegment::setLowerBound(int i, int32_t value) {
    if (!m_writable || !m_valid || i < 0 || i >= m_dims) return false;
    writeI32(reinterpret_cast<uint8_t*>(m_lowerBounds) + 4 * i, value);
    return true;
}

void* aglSegment::elements() const {
    if (!m_base || !m_valid) return nullptr;
    return m_base + m_headerSize;
}
