// Files written by the Python modules scientists write them with
// (netCDF4-python, h5py), made at test time by python/write_samples.py, and
// the values a document shows for a data set, for comparing with ncdump's
// and h5dump's.
#pragma once

#include "CArrayDoc.h"
#include "TempDir.h"

#include "aglArray.h"

#include <cstdlib>
#include <string>
#include <vector>

// The system's python3 first: the one on PATH may be another installation
// (pyenv, a virtual environment) without the distribution's modules.
inline std::string pythonWithModule(const std::string& module) {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        const std::string cmd = std::string(python) + " -c 'import " + module + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) return python;
    }
    return {};
}

// The files of one kind ("netcdf4" or "h5py"), written once for the whole
// test program into a folder of their own; ok() is false when python or
// the module is missing (skipped() then says so) or the script failed.
class PythonSamples {
public:
    PythonSamples(const std::string& kind, const std::string& module, const std::string& package)
        : m_python(pythonWithModule(module)) {
        if (m_python.empty()) {
            m_skipped = module + " is not installed for /usr/bin/python3 or python3 (" + package +
                        "; tools/setup.sh installs it)";
            return;
        }
        const std::string cmd = m_python + " " + TAVRIX_SOURCE_DIR +
                                "/tests/viewer/doc/python/write_samples.py " + kind + " " +
                                m_dir.path();
        m_ok = std::system(cmd.c_str()) == 0;
    }
    bool ok() const { return m_ok; }
    const std::string& skipped() const { return m_skipped; }
    std::string file(const std::string& name) const { return m_dir.file(name); }

private:
    TempDir m_dir;
    std::string m_python;
    std::string m_skipped;
    bool m_ok = false;
};

// The values the document shows for its current array, in storage order:
// for a data set of three dimensions read plane by plane, every index of
// its first dimension in turn, from 0 (each read through the region, as the
// dimension bar reads it). Empty when a plane cannot be read.
inline std::vector<double> shownValues(CArrayDoc& doc) {
    std::vector<double> out;
    const CHdfSds* planes = doc.shownPlaneDataSet();
    const int count = planes ? planes->extents[0] : 1;
    for (int k = 0; k < count; ++k) {
        if (planes) {
            CArrayDoc::RegionChoice choice = doc.regionChoice();
            choice.start[0] = k;
            doc.applyRegion(choice); // false when that plane is shown already
            if (doc.regionChoice().start[0] != k) return {};
        }
        const aglArray* a = doc.currentArray();
        const bool line = a->dimCount() == 1;
        const int64_t rows = line ? 1 : a->extent(a->rowDim());
        const int64_t columns = a->extent(a->colDim());
        for (int64_t r = 0; r < rows; ++r)
            for (int64_t c = 0; c < columns; ++c)
                out.push_back(a->value(c, r));
    }
    return out;
}
