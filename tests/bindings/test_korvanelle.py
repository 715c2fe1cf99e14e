"""The Python package against the sample server: the walk, the bytes, the errors."""

import os
import re
import socket
import xml.etree.ElementTree as ET

import pytest

import korvanelle
from conftest import DATA, ROOT


def sample_patient(patient_id):
    """What the sample file says, read independently of the library."""
    with open(os.path.join(DATA, "patients", patient_id + ".xml"), "rb") as f:
        text = f.read().decode("gbk")
    root = ET.fromstring(re.sub(r"^<\?xml[^>]*\?>", "", text))
    patient = root.find("Patient")

    def fields(node):
        out = []
        for group in node.findall("Fields/*"):
            for field in group.findall("Field"):
                out.append((field.get("FieldName"), field.get("FieldValue"), group.tag == "Image"))
        return out

    modalities = [(m.get("Name"), fields(m), [(s.get("Name"), fields(s)) for s in m.findall("Study")])
                  for m in patient.findall("Modality")]
    return patient.get("Name"), modalities


def as_tuples(patient):
    return [(m.name, [(f.name, f.value, f.is_image) for f in m.fields],
             [(s.name, [(f.name, f.value, f.is_image) for f in s.fields]) for s in m.studies])
            for m in patient.modalities]


class TestWalk:
    @pytest.mark.parametrize("patient_id", ["P10001", "P10002", "P10005"])
    def test_patient_matches_the_sample_file(self, client, patient_id):
        name, modalities = sample_patient(patient_id)
        patient = client.open_patient(patient_id)
        assert patient.id == patient_id
        assert patient.name == name
        assert as_tuples(patient) == modalities
        # Raw bytes are the code page 936 form of the decoded text.
        assert patient.raw_name == name.encode("gbk")

    def test_thumbnail_and_image_are_the_served_files(self, client):
        patient = client.open_patient("P10001")
        fields = list(patient.image_fields())
        assert len(fields) >= 2
        for field in fields[:2]:
            with open(os.path.join(DATA, "thumbs", field.value), "rb") as f:
                assert client.thumbnail(field) == f.read()
            with open(os.path.join(DATA, "images", field.value), "rb") as f:
                assert client.image(field.value) == f.read()
        # A name given as bytes is sent as it is.
        assert client.thumbnail(fields[0].raw_value) == client.thumbnail(fields[0])

    def test_unknown_patient_and_thumbnail(self, client):
        with pytest.raises(korvanelle.PatientNotFound):
            client.open_patient("NOBODY")
        with pytest.raises(korvanelle.NotAvailable):
            client.thumbnail("no-such-thumbnail.png")
        # The connection is still usable afterwards.
        assert client.open_patient("P10002").modalities

    def test_name_outside_code_page_936_is_refused(self, client):
        with pytest.raises(ValueError):
            client.open_patient("\U0001F600")

    def test_text_with_a_nul_is_refused_not_shortened(self, client):
        # The library would take "P10001" and answer with that patient's tree.
        for text in ("P10001\0P10002", b"P10001\0P10002"):
            with pytest.raises(ValueError):
                client.open_patient(text)
        with pytest.raises(ValueError):
            client.image("P10001_CT_1_1.png\0other")


class TestConnection:
    def test_closed_client_refuses_and_close_twice_is_safe(self, library_path, server_port):
        with korvanelle.connect("127.0.0.1", server_port, library=library_path) as client:
            assert client.connected
        assert not client.connected
        client.close()
        with pytest.raises(korvanelle.NotConnected):
            client.open_patient("P10001")
        with pytest.raises(korvanelle.NotConnected):
            client.image("P10001_CT_1_1.png")

    def test_one_connection_per_process(self, client, library_path, server_port):
        with pytest.raises(korvanelle.AlreadyConnected) as raised:
            korvanelle.connect("127.0.0.1", server_port, library=library_path)
        assert "连接未关闭" in raised.value.library_text
        # The first connection keeps working.
        assert client.open_patient("P10001").name

    def test_refused_connection_carries_the_library_text(self, library_path):
        with socket.socket() as probe:  # a port on which nothing listens
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        with pytest.raises(korvanelle.ConnectError) as raised:
            korvanelle.connect("127.0.0.1", port, library=library_path)
        assert not isinstance(raised.value, korvanelle.AlreadyConnected)
        assert raised.value.library_text == "(KorvanelleClient.dll)Error:连接失败"


class TestLibraryLocation:
    def test_argument_then_environment(self, library_path, monkeypatch, tmp_path):
        missing = str(tmp_path / "nowhere.so")
        with pytest.raises(korvanelle.LibraryNotFound) as raised:
            korvanelle.load_library(missing)
        assert missing in str(raised.value)
        monkeypatch.setenv("KORVANELLE_LIB", missing)
        with pytest.raises(korvanelle.LibraryNotFound):
            korvanelle.load_library()
        monkeypatch.setenv("KORVANELLE_LIB", library_path)
        lib = korvanelle.load_library()
        assert lib.GetModalityCount() == 0  # not connected: 0 at once

    def test_a_library_without_the_exports_is_refused(self, tmp_path):
        import ctypes.util
        libc = ctypes.util.find_library("c")
        with pytest.raises(korvanelle.LibraryNotFound) as raised:
            korvanelle.load_library(libc)
        assert "lacks" in str(raised.value)


def test_version_is_the_library_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        version = re.search(r"project\(KorvanelleClient VERSION ([0-9.]+)", f.read()).group(1)
    assert korvanelle.__version__ == version
