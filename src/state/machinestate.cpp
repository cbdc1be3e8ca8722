#include "state/machinestate.h"

#include "core/gb.h"

namespace tov {

void machinestatefields(tgb& gb, tstatevisitor& v) {
    gb.statefields(v);
    gb.soundunit().statefields(v);
    if (gb.sgbmode) gb.sgbunit().statefields(v);
    gb.cartridge().statefields(v);
}

bool applystatechunk(tgb& gb, std::string_view name, const uint8_t* data, int32_t size) {
    tstatereader reader(name, data, size);
    machinestatefields(gb, reader);
    return reader.taken();
}

std::vector<tsavedchunk> savemachinestate(tgb& gb) {
    tstatewriter writer;
    machinestatefields(gb, writer);
    return std::move(writer.chunks);
}

void loadmachinestate(tgb& gb, const std::vector<tsavedchunk>& chunks) {
    gb.beginstateload();
    try {
        for (const tsavedchunk& c : chunks) applystatechunk(gb, c.name, c.data.data(), int32_t(c.data.size()));
    } catch (...) {
        gb.afterstateload();
        throw;
    }
    gb.afterstateload();
}

}  // namespace tov
