"""Scaling a matrix product out over worker processes with Dask.

velta works in one process. Larger jobs go through dask.distributed: here
C = A @ B is cut into blocks C[i, j] = A[rows i] @ B[columns j], each made
by velta's @ on a worker process of a LocalCluster. The blocks travel
pickled (velta's vectors and matrices pickle to their elements) and are
gathered into one VlmMatrix.

velta sums every element of a product in order over the whole inner
dimension, so cutting A into row blocks and B into column blocks changes no
bit of the result: the example checks that the gathered matrix is identical
to the in-process product. (Dask's own blocked matmul also cuts the inner
dimension and adds the partial products, which rounds differently.)

    PYTHONPATH=build/src/binding /usr/bin/python3 examples/scale_out.py [--size N]
        [--blocks K] [--workers W]
"""
import argparse
import logging
import sys
import time

import numpy
from dask.distributed import Client, LocalCluster

import velta


def owned_product(a: velta.VlmMatrix, b: velta.VlmMatrix) -> velta.VlmMatrix:
    """a @ b on a worker. The product is a new record that Python does not
    own; taking ownership lets it be released once it has been sent."""
    c = a @ b
    assert c is not None, "the inner sizes agree"
    c.this.acquire()
    return c


def bounds(count: int, parts: int) -> list[int]:
    """parts + 1 cut points splitting range(count) into near-equal pieces."""
    return [count * k // parts for k in range(parts + 1)]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=1536, help="A and B are size x size")
    parser.add_argument("--blocks", type=int, default=2, help="row blocks of A (and column blocks of B)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes")
    args = parser.parse_args()

    rng = numpy.random.default_rng(13)
    n = args.size
    a_np, b_np = rng.uniform(-1, 1, (n, n)), rng.uniform(-1, 1, (n, n))
    a, b = velta.VlmMatrix(a_np), velta.VlmMatrix(b_np)

    start = time.perf_counter()
    reference = owned_product(a, b)
    in_process = time.perf_counter() - start

    # One thread per worker: the library takes no locks.
    with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                      dashboard_address=None, silence_logs=logging.ERROR) as cluster, \
            Client(cluster) as client:
        cuts = bounds(n, args.blocks)
        start = time.perf_counter()
        # Blocks are new owned matrices copied out of A and B.
        a_rows = client.scatter([velta.VlmMatrix(a_np[lo:hi]) for lo, hi in zip(cuts, cuts[1:])])
        b_cols = client.scatter([velta.VlmMatrix(b_np[:, lo:hi]) for lo, hi in zip(cuts, cuts[1:])])
        futures = [[client.submit(owned_product, ar, bc, pure=False) for bc in b_cols] for ar in a_rows]
        blocks = client.gather(futures)
        gathered = velta.VlmMatrix(numpy.block([[numpy.asarray(c) for c in row] for row in blocks]))
        distributed = time.perf_counter() - start

    identical = numpy.asarray(gathered).tobytes() == numpy.asarray(reference).tobytes()
    print("product of %dx%d matrices in %dx%d blocks on %d worker processes" % (
        n, n, args.blocks, args.blocks, args.workers))
    print("in process:  %.3f s" % in_process)
    print("distributed: %.3f s (scatter, products, gather)" % distributed)
    print("bit-identical to the in-process product: %s" % identical)
    return 0 if identical and gathered.getShape() == (n, n) else 1


if __name__ == "__main__":
    sys.exit(main())
