#!/usr/bin/env python3
"""Reference values for the device-model tests, computed independently of the
C++ code: the beam and cavity closed forms with mpmath's exact Bessel
functions at 30 digits, the beam-loading double integrals by adaptive
quadrature, and the field-file tabulation from a separate parse of the sample
file. Run it to regenerate the constants hard-coded in the tests:

    python3 tests/model/reference_values.py
"""
import os
import mpmath as mp

mp.mp.dps = 30
C = mp.mpf(299792458)
ETA = mp.mpf('1.75882012e11')
EPS0 = mp.mpf('8.854187817e-12')
PI = mp.pi


def beam_common(V0, I0, f, Vd):
    sigma = 1 + ETA * Vd / C**2
    u0 = C * mp.sqrt(1 - 1 / sigma**2)
    omega = 2 * PI * f
    betaE = omega / u0
    gamma = betaE / sigma
    return dict(Vd=Vd, sigma=sigma, u0=u0, omega=omega, betaE=betaE, gamma=gamma, lambdaE=2 * PI / betaE)


def finish(d, V0, I0, wp, R):
    u0 = d['u0']
    d.update(wp=wp, betaP=wp / u0, lambdaP=2 * PI * u0 / wp if wp else mp.inf, R=R)
    wq = R * wp
    d.update(wq=wq, lambdaQ=u0 * 2 * PI / wq if wq else mp.inf, betaQ=wq / u0, G0=I0 / d['Vd'],
             perveance=I0 / mp.mpf(V0)**1.5)
    return d


def round_beam(V0, I0, f, a, b):
    V0, I0, f, a, b = map(mp.mpf, (V0, I0, f, a, b))
    unr = mp.sqrt(2 * ETA * V0)
    Vd = V0 - (mp.log(a / b) + mp.mpf('0.25')) * (I0 / PI) / (unr * 2 * EPS0)
    d = beam_common(V0, I0, f, Vd)
    wp = mp.sqrt(I0 * ETA / (d['u0'] * PI * EPS0)) / (d['sigma']**1.5 * b)
    A, B = d['gamma'] * a, d['gamma'] * b
    R = mp.sqrt(1 - 2 * mp.besseli(1, B) * mp.besselk(1, B) - mp.besseli(1, B)**2 * 2 * mp.besselk(0, A) / mp.besseli(0, A))
    d.update(gammaA=A, gammaB=B, J=I0 / (PI * b * b))
    return finish(d, V0, I0, wp, R)


def sheet_beam(V0, I0, f, w, h, W, H):
    V0, I0, f, w, h, H = map(mp.mpf, (V0, I0, f, w, h, H))
    unr = mp.sqrt(2 * ETA * V0)
    Vd = V0 - (I0 / (h * w)) / (unr * 4 * EPS0) * (h * H - 5 * h**2 / 16)
    d = beam_common(V0, I0, f, Vd)
    g = d['gamma']
    wp = mp.sqrt(I0 * ETA / (d['u0'] * h * w * EPS0)) / d['sigma']**1.5
    R = mp.sqrt(1 - 2 * mp.sinh(g * h / 2) * mp.cosh(g * (H - h) / 2) / (g * h * mp.cosh(g * H / 2)))
    d.update(gammaA=g * H / 2, gammaB=g * h / 2, J=I0 / (w * h))
    return finish(d, V0, I0, wp, R)


def averages_round(m, Vd, f, b):
    m, Vd, f, b = map(mp.mpf, (m, Vd, f, b))
    k0 = 2 * PI * f / C
    sigma = Vd / 511000 + 1
    v = mp.sqrt(1 - 1 / sigma**2) * C
    gamma = mp.sqrt(1 - (v / C)**2) * (2 * PI * f / v)
    F = 2 * mp.besselj(1, k0 * b) / (k0 * b)
    coupling = m * mp.sqrt(mp.besseli(0, gamma * b)**2 - mp.besseli(1, gamma * b)**2) / F
    req = mp.findroot(lambda r: mp.besselj(0, k0 * r) - F, b / 2)
    return dict(F=F, coupling=coupling, req=req)


def averages_sheet(m, Vd, f, h):
    m, Vd, f, h = map(mp.mpf, (m, Vd, f, h))
    k0 = 2 * PI * f / C
    sigma = Vd / 511000 + 1
    v = mp.sqrt(1 - 1 / sigma**2) * C
    gamma = mp.sqrt(1 - (v / C)**2) * (2 * PI * f / v)
    F = 2 * mp.sin(k0 * h / 2) / (k0 * h)
    coupling = m * mp.sqrt((mp.sinh(gamma * h) + gamma * h) / (2 * gamma * h)) / F
    return dict(F=F, coupling=coupling, req=mp.acos(F) / k0)


def beam_loading(beam, m, harmonic):
    """Gb in closed form and Bb from the double integrals over the same
    truncated span as the cavity's trapezoid rule."""
    m = mp.mpf(m)
    bE, bQ, G0, s_ = beam['betaE'], beam['betaQ'], beam['G0'], beam['sigma']
    alpha = abs(harmonic) * bE / 2 / mp.sqrt(mp.log(1 / m))
    A = alpha / mp.sqrt(PI)
    rel = 2 / (s_ * (s_ + 1))
    r = bQ / bE
    Gb = G0 / 8 * (bE / bQ) * (m**(2 * (1 - r)**2) - m**(2 * (1 + r)**2)) * rel
    span = mp.sqrt(mp.log(10000)) / alpha
    E = lambda z: A * mp.exp(-alpha**2 * z**2)

    def I(k):
        inner = lambda z1: mp.quad(lambda z2: E(z2) * mp.sin(k * (z2 - z1)), [-span, z1])
        return mp.quad(lambda z1: E(z1) * inner(z1), [-span, 0, span])

    mp.mp.dps = 20
    Bb = -(G0 / 4) * (bE / bQ) * (I(bE + bQ) - I(bE - bQ)) * rel
    mp.mp.dps = 30
    return dict(alpha=alpha, Gb=Gb, Bb=Bb)


def field_file(path, shift, positions, rn, beta):
    """Separate parse of a sample field file with a radial count."""
    lines = open(path).read().split('\n')
    head = next(i for i, l in enumerate(lines) if 'increments:' in l)
    toks = lines[head].split()
    k = toks.index('increments:')
    nz, nr = int(toks[k + 1]) + 1, int(toks[k + 2]) + 1
    unit = lines[head + 3].split()[0]
    s = {'(m)': 1.0, '(cm)': 100.0, '(mm)': 1000.0}[unit]
    vals = [float(t) for t in ' '.join(lines[head + 4:]).split()]
    pts = [vals[i:i + 6] for i in range(0, len(vals), 6)]
    z = [[pts[j * nz + i][0] / s - shift for j in range(nr)] for i in range(nz)]
    r = [[pts[j * nz + i][1] / s for j in range(nr)] for i in range(nz)]
    E = [[pts[j * nz + i][2] * 1e6 for j in range(nr)] for i in range(nz)]
    zs = [x for row in z for x in row]
    rs = [x for row in r for x in row]
    dz = (max(zs) - min(zs)) / (nz - 1)
    dr = (max(rs) - min(rs)) / (nr - 1)
    idx = int(rn / dr)
    frac = rn / dr - idx
    S = sum((z[i][0] - z[i - 1][0]) * (0.5 * abs(E[i][idx] + E[i - 1][idx]) +
                                       (0.5 * abs(E[i][idx + 1] + E[i - 1][idx + 1]) - 0.5 * abs(E[i][idx] + E[i - 1][idx])) * frac)
            for i in range(1, nz))
    E = [[v / S for v in row] for row in E]
    radii = [r[0][j] for j in range(nr)]
    F = []
    for p in positions:
        if p <= radii[0]:
            F.append([E[i][0] for i in range(nz)])
        elif p >= radii[-1]:
            F.append([E[i][-1] for i in range(nz)])
        else:
            j = next(j for j in range(1, nr) if radii[j - 1] <= p <= radii[j])
            a = (p - radii[j - 1]) / (radii[j] - radii[j - 1])
            F.append([E[i][j - 1] + a * (E[i][j] - E[i][j - 1]) for i in range(nz)])
    G = [dz * sum(0.5 * abs(col[i] + col[i - 1]) for i in range(1, nz)) for col in F]
    col = F[0]
    P = mp.mpc(0)
    W = 0.0
    for i in range(nz - 1):
        mid = 0.5 * (z[i + 1][0] + z[i][0])
        mean = 0.5 * (col[i + 1] + col[i])
        P += mean * dz * mp.expjpi(beta * mid / mp.pi)
        W += abs(mean) * dz
    return dict(zmin=min(zs), zmax=max(zs), F=F, G=G, coupling=abs(P) / W, z=[row[0] for row in z])


def show(title, d):
    print(title)
    for k, v in d.items():
        if isinstance(v, list):
            continue
        print('  %-10s %s' % (k, mp.nstr(v, 17)))


if __name__ == '__main__':
    rb = round_beam(110000, 90, 2.856e9, 0.0095, 0.0062)
    show('round beam 110 kV, 90 A, 2.856 GHz, a 9.5 mm, b 6.2 mm', rb)
    show('round beam filling the tube (b = a = 6.2 mm)', round_beam(110000, 90, 2.856e9, 0.0062, 0.0062))
    show('round beam without current', round_beam(110000, 0, 2.856e9, 0.0095, 0.0062))
    sb = sheet_beam(60000, 30, 9.4e9, 0.02, 0.0015, 0.03, 0.004)
    show('sheet beam 60 kV, 30 A, 9.4 GHz, w 20 mm, h 1.5 mm, W 30 mm, H 4 mm', sb)
    show('sheet beam without current', sheet_beam(60000, 0, 9.4e9, 0.02, 0.0015, 0.03, 0.004))
    show('round averages, M 0.8, on the round beam', averages_round(0.8, rb['Vd'], 2.856e9, 0.0062))
    show('sheet averages, M 0.8, on the sheet beam', averages_sheet(0.8, sb['Vd'], 9.4e9, 0.0015))
    show('beam loading, M 0.8, harmonic 1, round beam', beam_loading(rb, 0.8, 1))
    here = os.path.dirname(os.path.abspath(__file__))
    ff = field_file(os.path.join(here, '..', 'data', 'gap-field-radial.txt'), -0.1,
                    [0.0, 0.0005, 0.0019, 0.0031, 0.009], 0.0031, 60.0)
    show('gap-field-radial.txt shifted by +0.1 m, normalised at 3.1 mm, samples 0, 0.5, 1.9, 3.1, 9 mm', ff)
    for q, col in enumerate(ff['F']):
        print('  ring %d: G %.17g, F[0] %.17g, F[40] %.17g, F[80] %.17g' % (q, ff['G'][q], col[0], col[40], col[80]))
    print('  z[40] %.17g, z[80] %.17g' % (ff['z'][40], ff['z'][80]))
