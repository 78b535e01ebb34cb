"""Builds the lumetra package's extension with the project's own CMake build.

    pip install --no-build-isolation ./python    (see python/README.md)

CMake configures the whole Lumetra project (in the source tree one folder
up) with the Python package on and installs its "python" component -- the
extension lumetra._lumetra and the liblumetra.so it was linked with, found
beside it -- into the wheel.  LUMETRA_BUILD_DIR names a build folder to reuse
(configured with the same interpreter; its Python install settings are
switched to the wheel's) instead of a fresh one; LUMETRA_JOBS the parallel
jobs (2).
"""

import os
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = os.environ.get("LUMETRA_BUILD_DIR")
        options = []
        if not build_dir:
            build_dir = os.path.join(os.path.abspath(self.build_temp), "cmake")
            options = ["-DCMAKE_BUILD_TYPE=Release", "-DLUMETRA_BUILD_TESTS=OFF",
                       f"-DPython3_EXECUTABLE={sys.executable}"]
        jobs = os.environ.get("LUMETRA_JOBS", "2")
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, *options,
                        "-DLUMETRA_BUILD_PYTHON=ON", "-DLUMETRA_PYTHON_BUNDLE_LIBRARY=ON",
                        "-DLUMETRA_PYTHON_INSTALL_DIR=."], check=True)
        subprocess.run(["cmake", "--build", build_dir, "-j", jobs, "--target",
                        "lumetra_python"], check=True)
        subprocess.run(["cmake", "--install", build_dir, "--component", "python", "--prefix",
                        os.path.abspath(self.build_lib)], check=True)


setup(ext_modules=[Extension("lumetra._lumetra", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
