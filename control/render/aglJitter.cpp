#include "aglJitter.h"

namespace {

const aglJitterOffset kJitter2[] = {{0.246490f, 0.249999f}, {-0.246490f, -0.249999f}};

const aglJitterOffset kJitter3[] = {
    {-0.373411f, -0.250550f}, {0.256263f, 0.368119f}, {0.117148f, -0.117570f}};

const aglJitterOffset kJitter4[] = {{-0.208147f, 0.353730f},
                                    {0.203849f, -0.353780f},
                                    {-0.292626f, -0.149945f},
                                    {0.296924f, 0.149994f}};

const aglJitterOffset kJitter8[] = {{-0.334818f, 0.435331f}, {0.286438f, -0.393495f},
                                    {0.459462f, 0.141540f},  {-0.414498f, -0.192829f},
                                    {-0.183790f, 0.082102f}, {-0.079263f, -0.317383f},
                                    {0.102254f, 0.299133f},  {0.164216f, -0.054399f}};

const aglJitterOffset kJitter15[] = {
    {0.285561f, 0.188437f},   {0.360176f, -0.065688f},  {-0.111751f, 0.275019f},
    {-0.055918f, -0.215197f}, {-0.080231f, -0.470965f}, {0.138721f, 0.409168f},
    {0.384120f, 0.458500f},   {-0.454968f, 0.134088f},  {0.179271f, -0.331196f},
    {-0.307049f, -0.364927f}, {0.105354f, -0.010099f},  {-0.154180f, 0.021794f},
    {-0.370135f, -0.116425f}, {0.451636f, -0.300013f},  {-0.370610f, 0.387504f}};

const aglJitterOffset kJitter24[] = {
    {0.030245f, 0.136384f},   {0.018865f, -0.348867f},  {-0.350114f, -0.472309f},
    {0.222181f, 0.149524f},   {-0.393670f, -0.266873f}, {0.404568f, 0.230436f},
    {0.098381f, 0.465337f},   {0.462671f, 0.442116f},   {0.400373f, -0.212720f},
    {-0.409988f, 0.263345f},  {-0.115878f, -0.001981f}, {0.348425f, -0.009237f},
    {-0.464016f, 0.066467f},  {-0.138674f, -0.468006f}, {0.144932f, -0.022780f},
    {-0.250195f, 0.150161f},  {-0.181400f, -0.264219f}, {0.196097f, -0.234139f},
    {-0.311082f, -0.078815f}, {0.268379f, 0.366778f},   {-0.040601f, 0.327109f},
    {-0.234392f, 0.354659f},  {-0.003102f, -0.154402f}, {0.297997f, -0.417965f}};

template <int N> aglJitterOffset entry(const aglJitterOffset (&table)[N], int k) {
    // A pass index past the table's end can only come from a pass count the
    // table was not chosen for; wrap rather than read outside it.
    return table[((k % N) + N) % N];
}

} // namespace

aglJitterOffset aglJitterFor(int pass, int passes) {
    if (passes < 2) return {0.0f, 0.0f};
    if (passes == 2) return entry(kJitter2, pass);
    if (passes == 3) return entry(kJitter3, pass);
    if (passes == 4) return entry(kJitter4, pass);
    if (passes <= 8) return entry(kJitter8, pass);
    if (passes <= 15) return entry(kJitter15, pass);
    return entry(kJitter24, pass);
}
