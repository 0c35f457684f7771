#include "HdfFileReader.h"

#include <mfhdf.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <vector>

namespace {

// Attribute values and annotations larger than this are listed empty.
constexpr int64_t kMaxTextBytes = 1 << 20;
// More labels or descriptions than this in one file are not believed.
constexpr int32_t kMaxAnnotations = 1 << 16;
// Bounds on a file's vgroups: lone vgroups and members of one vgroup, all
// members of all folders, and the nesting of folders (the object list nests
// at most 20 deep, and a data set's children need a level more).
constexpr int32_t kMaxVgroups = 1 << 16;
constexpr size_t kMaxMembers = 200000;
constexpr int kMaxVgroupDepth = 16;

// ---------------------------------------------------------------------------
// One owner per kind of library handle; each ends its access once.

template <intn (*End)(int32)> class Handle {
public:
    explicit Handle(int32 id = FAIL) : m_id(id) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    int32 get() const { return m_id; }
    explicit operator bool() const { return m_id != FAIL; }
    void reset(int32 id = FAIL) {
        if (m_id != FAIL) End(m_id);
        m_id = id;
    }

private:
    int32 m_id;
};

intn endAnnInterface(int32 id) {
    return intn(ANend(id));
}

using SdFile = Handle<SDend>;                // SDstart
using SdsAccess = Handle<SDendaccess>;       // SDselect
using HFile = Handle<Hclose>;                // Hopen
using GrInterface = Handle<GRend>;           // GRstart
using RiAccess = Handle<GRendaccess>;        // GRselect
using AnInterface = Handle<endAnnInterface>; // ANstart
using AnnAccess = Handle<ANendaccess>;       // ANselect

// The library's in-memory size of a number type (0 when it knows none).
int64_t nativeSize(int32 nt) {
    const int s = DFKNTsize(nt | DFNT_NATIVE);
    return s > 0 && s <= 16 ? s : 0;
}

bool isStandardName(const char* name, bool coordinateVariable) {
    static const char* const coordNames[] = {"long_name", "units", "format"};
    static const char* const dataNames[] = {"coordsys",       "valid_range",      "_FillValue",
                                            "scale_factor",   "scale_factor_err", "add_offset",
                                            "add_offset_err", "calibrated_nt"};
    for (const char* n : coordNames)
        if (std::strcmp(name, n) == 0) return true;
    if (coordinateVariable) return false;
    for (const char* n : dataNames)
        if (std::strcmp(name, n) == 0) return true;
    return false;
}

// Reads an attribute's values through read (SDreadattr or GRgetattr) into
// text. Values of an unknown size or over the cap are left out.
template <typename ReadFn> std::string attributeText(int32 nt, int32 count, ReadFn read) {
    const int64_t size = nativeSize(nt);
    if (size == 0 || count <= 0) return {};
    const int64_t bytes = size * int64_t(count);
    if (bytes > kMaxTextBytes) return {};
    std::vector<uint8_t> buffer(size_t(bytes) + 1, 0);
    if (read(buffer.data()) == FAIL) return {};
    return hdfFormatValues(nt, buffer.data(), size_t(bytes), count);
}

std::unique_ptr<CHdfAttribute> makeAttribute(int32 index, const char* name, int32 nt, int32 count,
                                             int32 owner, std::string text) {
    auto a = std::make_unique<CHdfAttribute>();
    a->index = index;
    a->name = name;
    a->displayName = name;
    a->numberType = nt;
    a->count = count;
    a->owner = owner;
    a->text = std::move(text);
    a->hasContent = true;
    return a;
}

struct NameBuffer {
    std::array<char, 1024> text{};
    char* data() { return text.data(); }
    std::string str() {
        text.back() = '\0';
        return text.data();
    }
};

// ---------------------------------------------------------------------------
// Listing

class Lister {
public:
    explicit Lister(const std::string& path) : m_path(path) {}

    std::unique_ptr<CHdfSds> loadSds(int32 sd, int32 sds, int32 index, bool withScales) {
        auto s = std::make_unique<CHdfSds>();
        s->index = index;
        s->filePath = m_path;
        s->coordinateVariable = SDiscoordvar(sds) > 0;
        s->hidden = s->coordinateVariable;
        NameBuffer name;
        int32 rank = 0, nt = 0, nattr = 0;
        int32 dims[H4_MAX_VAR_DIMS] = {};
        if (SDgetinfo(sds, name.data(), &rank, dims, &nt, &nattr) == FAIL || rank < 0 ||
            rank > H4_MAX_VAR_DIMS)
            return nullptr; // not described: not listed
        s->displayName = name.str();
        s->rank = rank;
        s->extents.assign(dims, dims + rank);
        for (int32& e : s->extents)
            e = std::max<int32>(e, 0);
        const int type = hdfElementType(nt);
        const int64_t size = nativeSize(nt);
        if (type != 0 && size == agl::typeInfo(type).size) {
            s->typeCode = type;
            s->elementSize = int32_t(size);
            // Arrays have at most 7 dimensions: a higher rank is listed but
            // cannot be shown.
            s->hasContent = rank >= 1 && rank <= agl::kMaxDims;
        }

        if (withScales && !s->coordinateVariable) {
            for (int32 d = 0; d < std::min<int32>(rank, agl::kMaxDims); ++d) {
                const int32 dim = SDgetdimid(sds, d);
                if (dim == FAIL) continue;
                NameBuffer dimName;
                int32 dimSize = 0, dimNt = 0, dimAttrs = 0;
                if (SDdiminfo(dim, dimName.data(), &dimSize, &dimNt, &dimAttrs) == FAIL) continue;
                const int32 other = SDnametoindex(sd, dimName.data());
                if (other < 0 || other == index) continue;
                SdsAccess scaleAccess(SDselect(sd, other));
                if (!scaleAccess || SDiscoordvar(scaleAccess.get()) <= 0) continue;
                // A scale is a coordinate variable of exactly this dimension's
                // length; it is loaded without scales of its own.
                auto scale = loadSds(sd, scaleAccess.get(), other, false);
                if (!scale || !scale->hasContent || scale->rank != 1 ||
                    scale->extents[0] != dims[d])
                    continue;
                scale->hidden = false;
                scale->scaleOfDimension = d;
                s->addChild(std::move(scale));
            }
        }

        for (int32 a = 0; a < std::max<int32>(nattr, 0); ++a) {
            NameBuffer attrName;
            int32 ant = 0, count = 0;
            if (SDattrinfo(sds, a, attrName.data(), &ant, &count) == FAIL) continue;
            const std::string an = attrName.str();
            if (an == "ZPR_palette_ref" && hdfBaseNumberType(ant) == DFNT_UINT16 && count == 1) {
                uint16 ref = 0;
                if (nativeSize(ant) == 2 && SDreadattr(sds, a, &ref) != FAIL && ref != 0 &&
                    DFPreadref(m_path.c_str(), ref) != FAIL) {
                    auto p = std::make_unique<CHdfPalette>();
                    p->source = HdfPaletteDfp;
                    p->index = ref;
                    p->numberType = DFNT_UCHAR8;
                    p->hasContent = true;
                    s->addChild(std::move(p));
                    continue;
                }
            }
            if (isStandardName(an.c_str(), s->coordinateVariable)) continue;
            s->addChild(makeAttribute(
                a, an.c_str(), ant, count, HdfAttributeSd,
                attributeText(ant, count, [&](void* buf) { return SDreadattr(sds, a, buf); })));
        }
        return s;
    }

    std::unique_ptr<CHdfRasterImage> loadImage(int32 ri, int32 index) {
        auto r = std::make_unique<CHdfRasterImage>();
        r->index = index;
        r->filePath = m_path;
        NameBuffer name;
        int32 ncomp = 0, nt = 0, il = 0, nattr = 0;
        int32 dims[2] = {0, 0};
        if (GRgetiminfo(ri, name.data(), &ncomp, &nt, &il, dims, &nattr) == FAIL) return r;
        r->displayName = name.str();
        r->components = std::max<int32>(ncomp, 0);
        r->interlace = il;
        r->width = std::max<int32>(dims[0], 0);
        r->height = std::max<int32>(dims[1], 0);
        r->hidden = ncomp != 1;
        const int type = hdfElementType(nt);
        const int64_t size = nativeSize(nt);
        if (type != 0 && size == agl::typeInfo(type).size) {
            r->typeCode = type;
            r->elementSize = int32_t(size);
            r->hasContent = true;
        } else if (size == 1) {
            // Character number types hold bytes: shown as uchar.
            r->typeCode = AGL_UCHAR;
            r->elementSize = 1;
            r->hasContent = true;
        }
        // Other types (64-bit integers) cannot become an array: listed only.

        const int32 lut = GRgetlutid(ri, 0);
        if (lut != FAIL) {
            int32 lc = 0, lnt = 0, lil = 0, entries = 0;
            if (GRgetlutinfo(lut, &lc, &lnt, &lil, &entries) != FAIL && lc == 3 && entries == 256 &&
                (hdfBaseNumberType(lnt) == DFNT_UINT8 || hdfBaseNumberType(lnt) == DFNT_UCHAR8)) {
                auto p = std::make_unique<CHdfPalette>();
                p->source = HdfPaletteLut;
                p->index = index;
                p->components = lc;
                p->entries = entries;
                p->numberType = lnt;
                p->hasContent = true;
                r->addChild(std::move(p));
            }
        }
        for (int32 a = 0; a < std::max<int32>(nattr, 0); ++a) {
            NameBuffer attrName;
            int32 ant = 0, count = 0;
            if (GRattrinfo(ri, a, attrName.data(), &ant, &count) == FAIL) continue;
            r->addChild(makeAttribute(
                a, attrName.data(), ant, count, HdfAttributeGr,
                attributeText(ant, count, [&](void* buf) { return GRgetattr(ri, a, buf); })));
        }
        return r;
    }

    HdfReadStatus run(HdfObjectList& out, std::string& reason) {
        // Listed in the order they are read: the SD interface's file
        // attributes and data sets, then the GR interface's file attributes
        // and images. The user's vgroups come before the data sets, as
        // folders holding their members; a member of any folder is no
        // longer listed at the top level.
        HdfObjectList fileAttributes, sets, imageAttributes, images, annotations, folders;
        int32 nsets = 0, nimages = 0;
        // The SD interface stays open while the vgroups are walked: a data
        // set found in one is loaded again from it.
        SdFile sd(SDstart(m_path.c_str(), DFACC_READ));
        {
            int32 nattrs = 0;
            if (!sd || SDfileinfo(sd.get(), &nsets, &nattrs) == FAIL) {
                reason = "Couldn't read file!";
                return HdfReadCannotOpen;
            }
            for (int32 i = 0; i < std::max<int32>(nattrs, 0); ++i) {
                NameBuffer name;
                int32 nt = 0, count = 0;
                if (SDattrinfo(sd.get(), i, name.data(), &nt, &count) == FAIL) continue;
                auto a = makeAttribute(i, name.data(), nt, count, HdfAttributeSd,
                                       attributeText(nt, count, [&](void* buf) {
                                           return SDreadattr(sd.get(), i, buf);
                                       }));
                a->filePath = m_path;
                fileAttributes.push_back(std::move(a));
            }
            for (int32 i = 0; i < std::max<int32>(nsets, 0); ++i) {
                SdsAccess sds(SDselect(sd.get(), i));
                if (!sds) continue;
                if (auto s = loadSds(sd.get(), sds.get(), i, true)) sets.push_back(std::move(s));
            }
        }
        HFile file(Hopen(m_path.c_str(), DFACC_READ, 0));
        if (!file) {
            reason = "Couldn't read file!";
            return HdfReadCannotOpen;
        }
        {
            GrInterface gr(GRstart(file.get()));
            int32 nattrs = 0;
            if (!gr || GRfileinfo(gr.get(), &nimages, &nattrs) == FAIL) {
                reason = "Couldn't read file!";
                return HdfReadCannotOpen;
            }
            for (int32 i = 0; i < std::max<int32>(nattrs, 0); ++i) {
                NameBuffer name;
                int32 nt = 0, count = 0;
                if (GRattrinfo(gr.get(), i, name.data(), &nt, &count) == FAIL) continue;
                auto a = makeAttribute(i, name.data(), nt, count, HdfAttributeGr,
                                       attributeText(nt, count, [&](void* buf) {
                                           return GRgetattr(gr.get(), i, buf);
                                       }));
                a->filePath = m_path;
                imageAttributes.push_back(std::move(a));
            }
            for (int32 i = 0; i < std::max<int32>(nimages, 0); ++i) {
                RiAccess ri(GRselect(gr.get(), i));
                if (!ri) continue;
                images.push_back(loadImage(ri.get(), i));
            }
            VgroupWalk walk;
            walk.sd = sd.get();
            walk.gr = gr.get();
            listVgroups(file.get(), walk, folders);
            // What a folder holds is not listed at the top level again.
            auto placed = [](const std::set<int32>& in) {
                return [&in](const std::unique_ptr<CHdfObject>& o) { return in.count(o->index); };
            };
            std::erase_if(sets, placed(walk.placedSets));
            std::erase_if(images, placed(walk.placedImages));
        }
        if (std::max<int32>(nsets, 0) == 0 && std::max<int32>(nimages, 0) == 0) {
            reason = "No viewable objects in file!";
            return HdfReadNothing;
        }
        {
            AnInterface an(ANstart(file.get()));
            int32 labels = 0, descriptions = 0, objLabels = 0, objDescriptions = 0;
            if (an && ANfileinfo(an.get(), &labels, &descriptions, &objLabels, &objDescriptions) !=
                          FAIL) {
                readAnnotations(an.get(), AN_FILE_LABEL, "File Label ", labels, annotations);
                readAnnotations(an.get(), AN_FILE_DESC, "File Description ", descriptions,
                                annotations);
            }
        }
        for (HdfObjectList* part :
             {&annotations, &fileAttributes, &folders, &sets, &imageAttributes, &images})
            for (auto& o : *part)
                out.push_back(std::move(o));
        return HdfReadOk;
    }

private:
    // The state of one walk over a file's vgroups.
    struct VgroupWalk {
        int32 sd = FAIL;
        int32 gr = FAIL;
        // Indices of the data sets and images placed in some folder.
        std::set<int32> placedSets, placedImages;
        // Vgroups listed so far, by reference number: one reached a second
        // time (from another parent, or round a cycle) is not listed again.
        std::set<int32> listed;
        size_t members = 0;
    };

    // The library's own vgroups (a data set's variable and dimension
    // records, the SD and GR interfaces' directories, chunk tables) by their
    // class names; the older files' spellings lack the "0.0".
    static bool isInternalClass(const std::string& cls) {
        static const char* const internal[] = {
            "Var",   "Dim",     "UDim",   "Var0.0",   "Dim0.0",    "UDim0.0",   "CDF0.0", "RIG0.0",
            "RI0.0", "Attr0.0", "SDSVar", "CoordVar", "DimVal0.0", "DimVal0.1", "Data0.0"};
        for (const char* c : internal)
            if (cls == c) return true;
        return false;
    }

    static std::string vgroupText(int32 vg, bool className) {
        uint16 length = 0;
        if ((className ? Vgetclassnamelen(vg, &length) : Vgetnamelen(vg, &length)) == FAIL ||
            length == 0 || length > 4096)
            return {};
        std::vector<char> text(size_t(length) + 1, '\0');
        if ((className ? Vgetclass(vg, text.data()) : Vgetname(vg, text.data())) == FAIL) return {};
        text.back() = '\0';
        return text.data();
    }

    // The file's top-level (lone) vgroups that a user made, as folders.
    void listVgroups(int32 file, VgroupWalk& walk, HdfObjectList& out) {
        if (Vstart(file) == FAIL) return;
        const int32 lone = Vlone(file, nullptr, 0);
        if (lone > 0 && lone <= kMaxVgroups) {
            std::vector<int32> refs(size_t(lone), 0);
            const int32 got = Vlone(file, refs.data(), lone);
            for (int32 i = 0; i < std::clamp<int32>(got, 0, lone); ++i)
                if (auto folder = loadVgroup(file, refs[size_t(i)], walk, 0))
                    out.push_back(std::move(folder));
        }
        Vend(file);
    }

    // One vgroup as a folder: its attributes, then its members in the
    // vgroup's own order (vgroups as folders, data sets and images as they
    // are listed at the top level). Nothing for an internal vgroup, one
    // listed already, or one that cannot be read.
    std::unique_ptr<CHdfObject> loadVgroup(int32 file, int32 ref, VgroupWalk& walk, int depth) {
        if (ref <= 0 || walk.listed.count(ref) || walk.members > kMaxMembers) return nullptr;
        const int32 vg = Vattach(file, ref, "r");
        if (vg == FAIL) return nullptr;
        struct Detach {
            int32 id;
            ~Detach() { Vdetach(id); }
        } detach{vg};
        const std::string cls = vgroupText(vg, true);
        if (isInternalClass(cls) || Vgisinternal(vg) > 0) return nullptr;
        walk.listed.insert(ref);
        auto folder = std::make_unique<CHdfObject>(HdfKindGroup);
        folder->index = ref;
        folder->tag = DFTAG_VG;
        folder->displayName = vgroupText(vg, false);
        folder->filePath = m_path;
        folder->hasContent = true;
        for (intn a = 0; a < std::clamp<intn>(Vnattrs(vg), 0, 4096); ++a) {
            NameBuffer name;
            int32 nt = 0, count = 0, size = 0;
            if (Vattrinfo(vg, a, name.data(), &nt, &count, &size) == FAIL) continue;
            folder->addChild(makeAttribute(
                a, name.str().c_str(), nt, count, HdfAttributeSd,
                attributeText(nt, count, [&](void* buf) { return Vgetattr(vg, a, buf); })));
        }
        const int32 n = Vntagrefs(vg);
        if (n <= 0 || n > kMaxVgroups) return folder;
        std::vector<int32> tags(size_t(n), 0), refs(size_t(n), 0);
        const int32 got = Vgettagrefs(vg, tags.data(), refs.data(), n);
        for (int32 i = 0; i < std::clamp<int32>(got, 0, n); ++i) {
            if (++walk.members > kMaxMembers) break;
            const int32 tag = tags[size_t(i)], member = refs[size_t(i)];
            if (tag == DFTAG_VG) {
                // Deeper than the object list can nest is left out.
                if (depth + 1 < kMaxVgroupDepth)
                    if (auto inner = loadVgroup(file, member, walk, depth + 1))
                        folder->addChild(std::move(inner));
            } else if (tag == DFTAG_NDG || tag == DFTAG_SD || tag == DFTAG_SDG) {
                const int32 index = SDreftoindex(walk.sd, member);
                if (index < 0) continue;
                SdsAccess sds(SDselect(walk.sd, index));
                if (!sds) continue;
                auto s = loadSds(walk.sd, sds.get(), index, true);
                if (!s) continue;
                // A coordinate variable stays with the data sets it scales.
                if (s->coordinateVariable) continue;
                walk.placedSets.insert(index);
                folder->addChild(std::move(s));
            } else if (tag == DFTAG_RIG || tag == DFTAG_RI || tag == DFTAG_RI8) {
                const int32 index = GRreftoindex(walk.gr, uint16(member));
                if (index < 0) continue;
                RiAccess ri(GRselect(walk.gr, index));
                if (!ri) continue;
                auto image = loadImage(ri.get(), index);
                if (image->hidden) continue; // as at the top level
                walk.placedImages.insert(index);
                folder->addChild(std::move(image));
            }
        }
        return folder;
    }

    void readAnnotations(int32 an, ann_type type, const char* prefix, int32 count,
                         HdfObjectList& out) {
        for (int32 i = 0; i < std::clamp<int32>(count, 0, kMaxAnnotations); ++i) {
            AnnAccess ann(ANselect(an, i, type));
            if (!ann) continue;
            auto a = std::make_unique<CHdfAnnotation>();
            a->index = i;
            a->filePath = m_path;
            a->displayName = std::string(prefix) + char(uint8_t(49 + i));
            a->hasContent = true;
            const int32 length = ANannlen(ann.get());
            if (length > 0 && length <= kMaxTextBytes) {
                std::vector<char> buffer(size_t(length) + 1, '\0');
                if (ANreadann(ann.get(), buffer.data(), length + 1) != FAIL) {
                    buffer.back() = '\0';
                    a->text = buffer.data();
                }
            }
            out.push_back(std::move(a));
        }
    }

    std::string m_path;
};

// ---------------------------------------------------------------------------
// Reading

bool expandPalette(const uint8_t* rgb, void* dest, uint64_t byteCount) {
    if (byteCount != 1024) return false;
    auto* d = static_cast<uint8_t*>(dest);
    for (int i = 0; i < 256; ++i) {
        d[4 * i + 0] = rgb[3 * i + 0];
        d[4 * i + 1] = rgb[3 * i + 1];
        d[4 * i + 2] = rgb[3 * i + 2];
        d[4 * i + 3] = 255;
    }
    return true;
}

HdfReadStatus failWith(std::string& reason, const char* why) {
    reason = why;
    return HdfReadFailed;
}

// The element type and byte count the library will deliver for nt and the
// given extents, checked against the destination.
bool matches(int32 nt, int expectedType, const int32* libExtents, int libRank, int dims,
             const int32* extents, uint64_t byteCount, bool characterAsUchar) {
    const int64_t size = nativeSize(nt);
    int type = hdfElementType(nt);
    if (type == 0 && characterAsUchar && size == 1) type = AGL_UCHAR;
    if (type == 0 || type != expectedType || size != agl::typeInfo(type).size) return false;
    if (libRank != dims) return false;
    int64_t product = 1;
    for (int d = 0; d < dims; ++d) {
        if (libExtents[d] != extents[d] || extents[d] <= 0) return false;
        product *= extents[d];
        if (product > agl::kMaxElements) return false;
    }
    return uint64_t(product) * uint64_t(size) == byteCount;
}

// Reads the part of an open data set from start (all of it without one) of
// the given extents into dest, after checking the data set still has the
// shape and element type the destination was made for.
HdfReadStatus readSdsPart(int32 sds, int dims, const int32_t* start, const int32_t* extents,
                          int type, void* dest, uint64_t byteCount, std::string& reason) {
    NameBuffer name;
    int32 rank = 0, nt = 0, nattr = 0;
    int32 libDims[H4_MAX_VAR_DIMS] = {};
    if (SDgetinfo(sds, name.data(), &rank, libDims, &nt, &nattr) == FAIL)
        return failWith(reason, "the data set's description cannot be read");
    if (rank < 1 || rank > agl::kMaxDims || rank != dims)
        return failWith(reason, "the data set does not match its listing");
    // A part must lie inside the data set: it is then checked as a data
    // set of the part's extents.
    int32 first[H4_MAX_VAR_DIMS] = {};
    if (start) {
        for (int d = 0; d < dims; ++d) {
            const bool inside = start[d] >= 0 && extents[d] > 0 &&
                                int64_t(start[d]) + extents[d] <= int64_t(libDims[d]);
            libDims[d] = inside ? extents[d] : -1;
            first[d] = start[d];
        }
    }
    if (!matches(nt, type, libDims, rank, dims, extents, byteCount, false))
        return failWith(reason, "the data set does not match its listing");
    int32 edges[H4_MAX_VAR_DIMS] = {};
    std::copy(extents, extents + dims, edges);
    if (SDreaddata(sds, first, nullptr, edges, dest) == FAIL)
        return failWith(reason, "the data set's elements cannot be read");
    return HdfReadOk;
}

} // namespace

HdfReadStatus hdfListFile(const std::string& path, HdfObjectList& objects, std::string& reason) {
    objects.clear();
    Lister lister(path);
    const HdfReadStatus status = lister.run(objects, reason);
    if (status != HdfReadOk) objects.clear();
    return status;
}

HdfReadStatus hdfReadObject(const std::string& path, HdfReadWhat what, int32_t index, int dims,
                            const int32_t* extents, int type, void* dest, uint64_t byteCount,
                            std::string& reason, const int32_t* start) {
    if (!dest || dims < 1 || dims > agl::kMaxDims) return failWith(reason, "bad destination");
    switch (what) {
    case HdfReadSds: {
        SdFile sd(SDstart(path.c_str(), DFACC_READ));
        if (!sd) return failWith(reason, "Couldn't read file!");
        SdsAccess sds(SDselect(sd.get(), index));
        if (!sds) return failWith(reason, "no such data set");
        return readSdsPart(sds.get(), dims, start, extents, type, dest, byteCount, reason);
    }
    case HdfReadImage:
    case HdfReadLut: {
        HFile file(Hopen(path.c_str(), DFACC_READ, 0));
        if (!file) return failWith(reason, "Couldn't read file!");
        GrInterface gr(GRstart(file.get()));
        if (!gr) return failWith(reason, "Couldn't read file!");
        RiAccess ri(GRselect(gr.get(), index));
        if (!ri) return failWith(reason, "no such raster image");
        if (what == HdfReadLut) {
            const int32 lut = GRgetlutid(ri.get(), 0);
            int32 lc = 0, lnt = 0, lil = 0, entries = 0;
            if (lut == FAIL || GRgetlutinfo(lut, &lc, &lnt, &lil, &entries) == FAIL || lc != 3 ||
                entries != 256 || nativeSize(lnt) != 1)
                return failWith(reason, "the image has no 256-colour palette");
            std::array<uint8_t, 768> rgb{};
            GRreqlutil(ri.get(), MFGR_INTERLACE_PIXEL);
            if (GRreadlut(lut, rgb.data()) == FAIL)
                return failWith(reason, "the palette cannot be read");
            if (!expandPalette(rgb.data(), dest, byteCount))
                return failWith(reason, "bad destination");
            return HdfReadOk;
        }
        NameBuffer name;
        int32 ncomp = 0, nt = 0, il = 0, nattr = 0;
        int32 size[2] = {0, 0};
        if (GRgetiminfo(ri.get(), name.data(), &ncomp, &nt, &il, size, &nattr) == FAIL)
            return failWith(reason, "the image's description cannot be read");
        const int32 shape[2] = {size[1], size[0]}; // rows, columns
        if (ncomp != 1 || !matches(nt, type, shape, 2, dims, extents, byteCount, true))
            return failWith(reason, "the image does not match its listing");
        int32 origin[2] = {0, 0};
        int32 edges[2] = {size[0], size[1]};
        if (GRreadimage(ri.get(), origin, nullptr, edges, dest) == FAIL)
            return failWith(reason, "the image's pixels cannot be read");
        return HdfReadOk;
    }
    case HdfReadDfp: {
        std::array<uint8_t, 768> rgb{};
        if (index <= 0 || index > 65535 || DFPreadref(path.c_str(), uint16(index)) == FAIL ||
            DFPgetpal(path.c_str(), rgb.data()) == FAIL)
            return failWith(reason, "the palette cannot be read");
        if (!expandPalette(rgb.data(), dest, byteCount)) return failWith(reason, "bad destination");
        return HdfReadOk;
    }
    }
    return failWith(reason, "unknown object kind");
}

HdfSdsReader::~HdfSdsReader() {
    close();
}

void HdfSdsReader::close() {
    if (m_set != FAIL) SDendaccess(m_set);
    if (m_file != FAIL) SDend(m_file);
    m_set = m_file = FAIL;
}

HdfReadStatus HdfSdsReader::open(const std::string& path, int32_t index, std::string& reason) {
    close();
    m_file = SDstart(path.c_str(), DFACC_READ);
    if (m_file == FAIL) {
        reason = "Couldn't read file!";
        return HdfReadCannotOpen;
    }
    m_set = SDselect(m_file, index);
    if (m_set == FAIL) {
        close();
        return failWith(reason, "no such data set");
    }
    return HdfReadOk;
}

HdfReadStatus HdfSdsReader::read(int dims, const int32_t* start, const int32_t* extents, int type,
                                 void* dest, uint64_t byteCount, std::string& reason) {
    if (!dest || dims < 1 || dims > agl::kMaxDims) return failWith(reason, "bad destination");
    if (m_set == FAIL) return failWith(reason, "the data set is not open");
    return readSdsPart(m_set, dims, start, extents, type, dest, byteCount, reason);
}
