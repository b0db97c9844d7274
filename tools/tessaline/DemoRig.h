#pragma once

namespace tessaline {

// Builds the built-in sample rig in the current scene: a group "character" holding a
// chain of three joints, a skinned, posed column mesh with two UV sets and two
// materials.
void BuildDemoRig();

}  // namespace tessaline
