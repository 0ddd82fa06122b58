"""What a serving session of the service's seeder promises to send: its rate
starts at 800 kbit/s and moves every 3 s by the loss its requester reports
(steps of 40 kbit/s doubling while the direction holds, at most 16 steps),
capped by the seeder's upload limit; it paces one 768-byte piece per
6,400,000 / rate ms."""

START_RATE, MIN_RATE, MAX_RATE, RATE_STEP, MAX_STEP = 800000, 40000, 12800000, 40000, 16
RATE_WINDOW_MS = 3000
BITS_PER_PIECE = 6400


def ramp_rates(loss, limit):
    """Rates of the successive 3 s windows of a session whose requester
    reports `loss` percent, under an upload limit of `limit` kB/s (0: none;
    the start rate is not capped: the limit applies from the first step)."""
    rate, direction, step = START_RATE, 1, 0
    cap = limit * 8000
    while True:
        yield rate
        ratio = loss * 0.01
        new = 0 if ratio > 0.2 else 2 if ratio <= 0.05 else 1
        if new == direction:
            step = max(-MAX_STEP, min(MAX_STEP, step * 2))
        else:
            direction, step = new, new - 1
        if not (step > 0 and rate >= MAX_RATE):
            rate += step * RATE_STEP
        rate = max(MIN_RATE, min(MAX_RATE, rate))
        if cap and rate > cap:
            rate = cap


def promised(ms, loss, limit):
    """Pieces one session's ramp promises in its first `ms` milliseconds."""
    pieces, at = 0.0, 0
    for rate in ramp_rates(loss, limit):
        span = min(RATE_WINDOW_MS, ms - at)
        if span <= 0:
            return pieces
        pieces += rate / BITS_PER_PIECE * span / 1000.0
        at += span
