/* Loads a rig file, fits every skinned mesh to 4 influences with 8-bit weights and
 * prints what the fit lost.  usage: tsl_fit_example RIG.tsl */
#define TSL_IMPLEMENTATION
#include "tsl.h"

#include <stdio.h>
#include <stdlib.h>

static char *read_file(const char *path, size_t *size) {
    FILE *f = fopen(path, "rb");
    char *data = NULL;
    long length;
    if (!f) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (length = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0 &&
        (data = (char *)malloc((size_t)length + 1)) != NULL) {
        *size = fread(data, 1, (size_t)length, f);
        if (*size != (size_t)length) {
            free(data);
            data = NULL;
        }
    }
    fclose(f);
    return data;
}

int main(int argc, char **argv) {
    tsl_rig rig;
    size_t size = 0;
    uint32_t m;
    int status = 0;
    char *data;
    if (argc != 2) {
        fprintf(stderr, "usage: %s RIG.tsl\n", argv[0]);
        return 2;
    }
    if (!(data = read_file(argv[1], &size))) {
        fprintf(stderr, "%s: cannot read the file\n", argv[1]);
        return 1;
    }
    if (tsl_parse(data, size, NULL, &rig) != TSL_OK) {
        fprintf(stderr, "%s:%u: %s (byte %lld)\n", argv[1], rig.error.line, rig.error.message,
                (long long)rig.error.offset);
        status = 1;
    } else if (tsl_validate(&rig) != TSL_OK) {
        fprintf(stderr, "%s: mesh %d, bone %d: %s\n", argv[1], rig.error.mesh, rig.error.bone, rig.error.message);
        status = 1;
    } else {
        printf("%s: %u bones, %u meshes\n", argv[1], rig.num_bones, rig.num_meshes);
        for (m = 0; m < rig.num_meshes; ++m) {
            const tsl_mesh *mesh = &rig.meshes[m];
            tsl_skin_fit fit;
            tsl_loss_report loss;
            if (!mesh->skinned) continue;
            if (tsl_fit_skin(&rig, mesh, 4, 8, NULL, &fit, &loss) != TSL_OK) {
                fprintf(stderr, "mesh \"%s\": out of memory\n", mesh->name);
                status = 1;
                break;
            }
            printf("mesh \"%s\": %u vertices, %u touched, %u unweighted, %u influences dropped\n", mesh->name,
                   loss.vertices, loss.vertices_touched, loss.vertices_unweighted, loss.influences_dropped);
            printf("  largest weight dropped %.4f, largest change at bind pose %.6f, at the test pose %.6f\n",
                   loss.largest_weight_dropped, loss.largest_bind_change, loss.largest_pose_change);
            tsl_free_skin_fit(&fit, NULL);
        }
    }
    tsl_free(&rig);
    free(data);
    return status;
}
