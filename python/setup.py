"""The package's version is the project's, read from the CMakeLists.txt beside this folder."""
import pathlib
import re

from setuptools import setup

project = (pathlib.Path(__file__).resolve().parent.parent / "CMakeLists.txt").read_text()
setup(version=re.search(r"project\(Quillon VERSION ([0-9.]+)", project).group(1))
