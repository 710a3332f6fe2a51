import pytest

import ztcontrol.testing


@pytest.fixture
def camera():
    with ztcontrol.testing.SimulatedCamera() as cam:
        yield cam
