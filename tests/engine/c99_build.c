/* The header compiled by itself as C99, warnings as errors, and run once: a rig read,
 * checked and turned Y-up through the C build. Exits 1 on any difference. */
#define TSL_IMPLEMENTATION
#include "tsl.h"

#include <stdio.h>
#include <string.h>

static const char kRig[] =
    "version 1\r\nnumBones 1\r\nbone 0 {\r\n\tname \"root\"\r\n\tparent \"\"\r\n"
    "\tinvBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 0 -2 1\r\n}\r\n"
    "numMeshes 1\r\nmesh 0 {\r\n\tname \"tri\"\r\n\tvertices { 0 0 0 1 0 0 0 1 0 }\r\n"
    "\tpolygonVertexCounts { 3 }\r\n\tpolygonVertexIndices { 0 1 2 }\r\n"
    "\tvertexWeightCounts { 1 1 1 }\r\n\tweights { 0 1.0 0 1.0 0 0.5 }\r\n}";

int main(void) {
    tsl_rig rig;
    int failures = 0;
    if (tsl_parse(kRig, sizeof kRig - 1, NULL, &rig) != TSL_OK || tsl_validate(&rig) != TSL_OK) {
        printf("refused: %s\n", rig.error.message);
        tsl_free(&rig);
        return 1;
    }
    failures += rig.num_bones != 1 || strcmp(rig.bones[0].name, "root") != 0 || rig.bones[0].bind[14] != 2.0f;
    failures += rig.num_meshes != 1 || rig.meshes[0].num_corners != 3 || !rig.meshes[0].skinned;
    failures += rig.meshes[0].weights[2].weight != 0.5f;
    tsl_to_y_up(&rig);
    failures += rig.meshes[0].positions[7] != 0.0f || rig.meshes[0].positions[8] != -1.0f;
    tsl_free(&rig);
    if (tsl_parse(kRig, 40, NULL, &rig) != TSL_ERROR_ENDS_INSIDE) ++failures;
    tsl_free(&rig);
    printf("%s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
