// Skin records: named outfits, each a list of parts and the texture each is
// to show. Names stay names: a skin may mention parts and textures the model
// lacks, which change nothing when the skin is put on.
#pragma once

#include <string>
#include <vector>

namespace kivanime {

struct SkinAssignment {
    std::string part;
    std::string texture;  // empty: the part's own texture from the model file
};

struct AnimeSkin {
    std::string name;
    std::vector<SkinAssignment> assignments;  // in file order
};

}  // namespace kivanime
