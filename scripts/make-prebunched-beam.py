#!/usr/bin/env python3
"""Writes the beam file of examples/sband-prebunched.json from a run of the
round-beam example: the arrival time and velocity of every disk's ring 0 at
the plane z, read off the trajectories of the run's last pass. A beam file
holds one velocity per disk, so the run is made with one ring, the beam's
average (ring 0 of several is the innermost, which bunches faster):

    mkdir -p out
    sed 's/"rings": 4/"rings": 1/' examples/sband-round.json > out/sband-round-1-ring.json
    build/tools/klystron run out/sband-round-1-ring.json -o out/sband-round-1-ring
    scripts/make-prebunched-beam.py out/sband-round-1-ring 0.45 > examples/beams/prebunched-beam.txt

Each disk's crossing of the plane is interpolated linearly between the two
time steps around it; its velocity is that of the same interval (the mean
velocity of the step, what the leapfrog carries). Standard library only."""
import csv
import json
import sys

C = 299792458.0


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    folder, plane = sys.argv[1], float(sys.argv[2])
    results = json.load(open(folder + "/results.json"))
    rows = list(csv.reader(open(folder + "/trajectories.csv")))
    header, table = rows[0], [[float(x) for x in r] for r in rows[1:]]
    disks = len(header) - 2
    dt = table[1][1] - table[0][1]
    steps = results["steps"]
    arrivals = []
    for d in range(disks):
        col = d + 2
        for k in range(len(table) - 1):
            z0, z1 = table[k][col], table[k + 1][col]
            if z0 < plane <= z1:
                frac = (plane - z0) / (z1 - z0)
                arrivals.append(((k + frac), (z1 - z0) / dt / C))
                break
        else:
            sys.exit(f"disk {d} does not cross z = {plane} m in the last pass")
    first = min(t for t, _ in arrivals)
    for d in range(1, disks):
        if arrivals[d][0] >= arrivals[d - 1][0]:
            sys.exit(f"disk {d} overtakes disk {d - 1} before z = {plane} m: pick a plane upstream")
    u0 = results["analyticBeamVelocity"] / C
    rings = results["rings"]
    print(f"Beam of examples/sband-round.json ({rings} ring{'s' if rings != 1 else ''}) at z = {plane} m, "
          f"{results['inputPower']} W drive")
    print(f"v0: {u0:.6f} I0: {results['beamCurrent']} f: {results['operatingFrequency']:.6e} "
          f"V0: {results['beamVoltage']:.0f} Pin: {results['inputPower']} dz: 0.001 "
          f"a: {results['tubeRadius']} b: {results['beamRadius']} h: 0.0 w: 0.0")
    print(f"disks: {disks} rings: 1 steps: {steps} passes: {results['simulatedIterations']}")
    print(f"Start position z = {plane}")
    print("Disk        Beta          Time")
    for d, (t, beta) in enumerate(arrivals):
        print(f"{d:4d} {beta:.8f} {t - first:.6f}")


main()
