#include "FuzzTavrixctl.h"

#include "tavrixctlProtocol.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// ---- A stand-in for the client library: a viewer object with a few members
// of every shape, answering at once. Strings it returns echo what it was
// given, at length, so replies of any size come back.

namespace {

struct StandInMember {
    const char* name;
    const char* in;
    const char* out;
};
const StandInMember kMembers[] = {
    {"GetFileName", "", "s"}, {"PutFileName", "s", ""},  {"GetErrorNo", "", "i"},
    {"PutErrorNo", "i", ""},  {"ShowWindow", "i", ""},   {"SetRoi", "nii", ""},
    {"GetCamera", "", "ddd"}, {"PutZMinClamp", "d", ""}, {"Echo", "sd", "sid"},
    {"Refuse", "u", ""},
};
constexpr int kMemberCount = int(sizeof kMembers / sizeof kMembers[0]);
std::string g_fileName;
int32_t g_errorNo = 0;

const StandInMember* findMember(const char* name) {
    for (const StandInMember& m : kMembers)
        if (std::strcmp(m.name, name) == 0) return &m;
    return nullptr;
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" {

const char* tavrix_last_error(void) {
    return "refused by the stand-in";
}
int32_t tavrix_release(tavrix_obj*) {
    return TAVRIX_OK;
}
int tavrix_member_count(const tavrix_obj*) {
    return kMemberCount;
}
const char* tavrix_member_name(const tavrix_obj*, int i) {
    return kMembers[i].name;
}
const char* tavrix_member_in(const tavrix_obj*, int i) {
    return kMembers[i].in;
}
const char* tavrix_member_out(const tavrix_obj*, int i) {
    return kMembers[i].out;
}

int32_t tavrix_call(tavrix_obj* obj, const char* method, const tavrix_value* in, int nin,
                    tavrix_value* out, int nout) {
    const StandInMember* m = findMember(method);
    if (!m) return TAVRIX_E_UNKNOWN_MEMBER;
    check(nin == int(std::strlen(m->in)), "argument count as the member says");
    if (std::strcmp(method, "Refuse") == 0) return TAVRIX_E_TYPE_MISMATCH;
    obj->result.clear();
    for (int i = 0; i < nin; ++i) {
        check(in[i].type == (m->in[i] == 's'   ? TAVRIX_STRING
                             : m->in[i] == 'd' ? TAVRIX_DOUBLE
                                               : TAVRIX_LONG),
              "argument of the member's type");
        if (in[i].type == TAVRIX_STRING) {
            for (int k = 0; k < 3; ++k)
                obj->result += in[i].s;
        }
    }
    if (std::strcmp(method, "PutFileName") == 0) g_fileName = in[0].s;
    if (std::strcmp(method, "GetFileName") == 0) obj->result = g_fileName;
    for (int i = 0; i < nout; ++i) {
        const char k = m->out[i];
        out[i].type = k == 's' ? TAVRIX_STRING : k == 'd' ? TAVRIX_DOUBLE : TAVRIX_LONG;
        out[i].s = obj->result.c_str();
        out[i].d = 0.1 * i;
        out[i].l = k == 'i' && std::strcmp(method, "GetErrorNo") == 0 ? g_errorNo : i;
    }
    return TAVRIX_OK;
}

int32_t tavrix_put_string(tavrix_obj* obj, const char* property, const char* value) {
    const std::string name = std::string("Put") + property;
    tavrix_value v = {TAVRIX_STRING, 0, 0.0, value};
    return tavrix_call(obj, name.c_str(), &v, 1, nullptr, 0);
}

int32_t tavrix_get_long(tavrix_obj* obj, const char* property, int32_t* value) {
    const std::string name = std::string("Get") + property;
    tavrix_value v{};
    const int32_t code = tavrix_call(obj, name.c_str(), nullptr, 0, &v, 1);
    *value = v.l;
    return code;
}

} // extern "C"

namespace {

struct Collected {
    std::string out, err;
};

void collect(void* context, int to, const char* text, size_t length) {
    auto* c = static_cast<Collected*>(context);
    (to == 1 ? c->out : c->err).append(text, length);
}

} // namespace

int fuzzTavrixctl(const uint8_t* data, size_t size) {
    if (size >= CTL_MAX_REQUEST) return 0; // the holder reads no more
    // The holder's buffer: the command's bytes and room for one more.
    std::vector<char> request(size + 1);
    if (size) std::memcpy(request.data(), data, size);
    tavrix_obj obj;
    g_errorNo = size > 0 && data[0] == 's' ? 1 : 0;
    ctl_output out = {}, err = {};
    int release = 0;
    const int status = ctl_run_request(&obj, request.data(), size, &out, &err, &release);
    check(status >= 0 && status <= 2, "exit status 0, 1 or 2");
    check(status == 0 || err.used > 0, "a failed command says why");
    check(!out.lost && !err.lost, "reply text kept");
    const std::string outText(out.text ? out.text : "", out.used);
    const std::string errText(err.text ? err.text : "", err.used);
    check(outText.find('\0') == std::string::npos, "standard output text holds no NUL");

    // The reply as the holder sends it, read back in pieces of 1 to 8 bytes.
    std::string reply(1, char(status));
    reply += outText;
    reply += '\0';
    reply += errText;
    ctl_reply_reader reader;
    ctl_reply_start(&reader);
    Collected got;
    size_t at = 0, k = 0;
    while (at < reply.size()) {
        const size_t piece = 1 + (size ? data[k++ % size] % 8 : 0);
        const size_t n = piece < reply.size() - at ? piece : reply.size() - at;
        ctl_reply_feed(&reader, reply.data() + at, n, collect, &got);
        at += n;
    }
    check(ctl_reply_status(&reader) == status, "status read back");
    check(got.out == outText, "standard output read back");
    check(got.err == errText, "standard error read back");
    std::free(out.text);
    std::free(err.text);

    // The same bytes as the reply of a holder that sends anything: the
    // command passes on every byte but the status and the first NUL after
    // it, each to its stream, and counts the reply complete only once both
    // have come.
    ctl_reply_start(&reader);
    Collected raw;
    for (at = 0, k = 0; at < size;) {
        const size_t piece = 1 + data[k++ % size] % 16;
        const size_t n = piece < size - at ? piece : size - at;
        ctl_reply_feed(&reader, reinterpret_cast<const char*>(data) + at, n, collect, &raw);
        at += n;
    }
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t nul = size > 0 ? bytes.find('\0', 1) : std::string::npos;
    if (nul == std::string::npos) {
        check(ctl_reply_status(&reader) == -1, "a reply without its NUL is cut short");
        check(raw.out == (size > 0 ? bytes.substr(1) : std::string()) && raw.err.empty(),
              "text before the NUL goes to standard output");
    } else {
        check(ctl_reply_status(&reader) == data[0], "a whole reply gives its status");
        check(raw.out == bytes.substr(1, nul - 1), "text before the NUL goes to standard output");
        check(raw.err == bytes.substr(nul + 1), "text after the NUL goes to standard error");
    }
    return 0;
}

#ifdef TAVRIX_FUZZ_ENTRY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzTavrixctl(data, size);
}
#endif
