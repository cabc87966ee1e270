# Writes the scipy-made MATLAB files the reader's tests read (run once with python3-scipy; the files are kept).
import numpy as np
from scipy.io import savemat

k = np.arange(100)
variables = {"t": 0.125 * k - 3, "m": np.stack([k, -k], axis=1).astype(np.int16), "fs": 50.0,
             "note": "written by scipy"}
savemat("scipy_v5.mat", variables, do_compression=False)
savemat("scipy_v5_compressed.mat", variables, do_compression=True)
