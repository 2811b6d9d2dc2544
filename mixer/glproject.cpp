#include "mixer/glproject.h"

void glProject_transformPoint(double out[4], const double m[16], const double in[4]) {
    for (int row = 0; row < 4; ++row)
        out[row] = m[row] * in[0] + m[4 + row] * in[1] + m[8 + row] * in[2] + m[12 + row] * in[3];
}

bool glProject_project(double objX, double objY, double objZ, const double model[16], const double projection[16],
                       const int viewport[4], double *winX, double *winY, double *winZ) {
    const double obj[4] = {objX, objY, objZ, 1.0};
    double eye[4];
    double clip[4];
    glProject_transformPoint(eye, model, obj);
    glProject_transformPoint(clip, projection, eye);
    if (clip[3] == 0.0) return false;
    // Normalised device coordinates (−1..1) to the viewport and depth 0..1.
    const double x = clip[0] / clip[3] * 0.5 + 0.5;
    const double y = clip[1] / clip[3] * 0.5 + 0.5;
    const double z = clip[2] / clip[3] * 0.5 + 0.5;
    *winX = viewport[0] + x * viewport[2];
    *winY = viewport[1] + y * viewport[3];
    *winZ = z;
    return true;
}
