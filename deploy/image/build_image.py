#!/usr/bin/env python3
"""Builds deploy/Containerfile into an OCI image layout without a container engine.

    build_image.py CONTAINERFILE CONTEXT OUT_DIR [NAME=VALUE...]

The file's instructions run in order on a root folder: ADD unpacks a tarball, COPY copies a
file, RUN runs a shell command chrooted there in namespaces of its own (as root), and the
other instructions fill the image's configuration. NAME=VALUE sets an ARG. The result is one
layer, written so that the same inputs give the same bytes: entries sorted by name, owners by
number, times clamped to SOURCE_DATE_EPOCH (an ARG), gzip without a name or time. OUT_DIR
becomes an OCI layout (oci-layout, index.json, blobs/sha256/) tagged quillon:VERSION, which
`skopeo copy oci:OUT_DIR:TAG docker-archive:FILE` turns into what `docker load` takes. Prints
the image's size and digests. Run as root.
"""
import datetime
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

SUPPORTED = {"FROM", "ARG", "ADD", "COPY", "RUN", "ENV", "USER", "EXPOSE", "LABEL",
             "STOPSIGNAL", "HEALTHCHECK", "ENTRYPOINT", "CMD"}
# What docker and podman run RUN commands with when the file sets no PATH.
DEFAULT_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"


def instructions(path):
    """(KEYWORD, argument text) pairs, continuation lines joined, comments left out."""
    logical = ""
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if not logical and (not line.strip() or line.lstrip().startswith("#")):
            continue
        if line.endswith("\\"):
            logical += line[:-1] + " "
            continue
        logical += line
        keyword, _, rest = logical.strip().partition(" ")
        if keyword.upper() not in SUPPORTED:
            sys.exit(f"build_image: {keyword} is not an instruction this builder knows")
        yield keyword.upper(), rest.strip()
        logical = ""


def substitute(text, args):
    return re.sub(r"\$\{(\w+)\}|\$(\w+)", lambda m: args.get(m.group(1) or m.group(2), ""), text)


def pairs(text):
    """NAME=VALUE words, values unquoted as a shell would."""
    return dict(word.split("=", 1) for word in shlex.split(text))


def duration(text):
    seconds = {"s": 1, "m": 60, "h": 3600}[text[-1]] * int(text[:-1])
    return seconds * 1_000_000_000  # the configuration counts nanoseconds


def blob(out, data, media_type):
    digest = hashlib.sha256(data).hexdigest()
    with open(os.path.join(out, "blobs", "sha256", digest), "wb") as file:
        file.write(data)
    return {"mediaType": media_type, "digest": f"sha256:{digest}", "size": len(data)}


def canonical(value):
    return json.dumps(value, sort_keys=True, separators=(",", ":")).encode()


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    containerfile, context, out = sys.argv[1:4]
    given = dict(arg.split("=", 1) for arg in sys.argv[4:])
    args, env, config, labels = {}, {}, {}, {}
    work = tempfile.mkdtemp(prefix="quillon-image-")
    root = os.path.join(work, "rootfs")
    os.mkdir(root)
    try:
        for keyword, text in instructions(containerfile):
            if keyword == "FROM":
                if text != "scratch":
                    sys.exit("build_image: only FROM scratch is built here")
            elif keyword == "ARG":
                name = text.split("=", 1)[0]
                args[name] = given.get(name, text.partition("=")[2])
            elif keyword == "ADD":
                source, target = shlex.split(text)
                if target != "/" or not source.endswith(".tar"):
                    sys.exit("build_image: ADD takes a tarball to / only")
                subprocess.run(["tar", "-xf", os.path.join(context, source), "-C", root,
                                "--numeric-owner"], check=True)
            elif keyword == "COPY":
                source, target = shlex.split(text)
                subprocess.run(["cp", os.path.join(context, source), root + target], check=True)
            elif keyword == "RUN":
                variables = {"PATH": DEFAULT_PATH, **args, **env}
                subprocess.run(["unshare", "--pid", "--fork", "--kill-child", "--mount",
                                f"--mount-proc={root}/proc", "chroot", root, "/usr/bin/env", "-i",
                                *(f"{k}={v}" for k, v in variables.items()), "/bin/sh", "-c", text],
                               check=True)
            elif keyword == "ENV":
                env.update({k: substitute(v, args) for k, v in pairs(text).items()})
            elif keyword == "LABEL":
                labels.update({k: substitute(v, args) for k, v in pairs(text).items()})
            elif keyword == "USER":
                config["User"] = text
            elif keyword == "EXPOSE":
                config.setdefault("ExposedPorts", {})[text] = {}
            elif keyword == "STOPSIGNAL":
                config["StopSignal"] = text
            elif keyword == "HEALTHCHECK":
                match = re.fullmatch(r"((?:--\w+=\S+\s+)*)CMD\s+(\[.*\])", text)
                options = dict(w[2:].split("=") for w in match.group(1).split())
                command = json.loads(match.group(2))
                config["Healthcheck"] = {"Test": ["CMD"] + command, "Retries": int(options["retries"]),
                                         "Interval": duration(options["interval"]),
                                         "Timeout": duration(options["timeout"])}
            elif keyword in ("ENTRYPOINT", "CMD"):
                config[keyword.title() if keyword == "CMD" else "Entrypoint"] = json.loads(text)

        epoch = int(args["SOURCE_DATE_EPOCH"])
        layer = os.path.join(work, "layer.tar")
        # The runtime mounts /dev, /proc and /sys; their contents do not belong in the layer.
        subprocess.run(["tar", "-cf", layer, "-C", root, "--sort=name", "--format=pax",
                        "--pax-option=exthdr.name=%d/PaxHeaders/%f,delete=atime,delete=ctime",
                        f"--mtime=@{epoch}", "--clamp-mtime", "--numeric-owner",
                        "--exclude=./dev/*", "--exclude=./proc/*", "--exclude=./sys/*", "."],
                       check=True)
        diff_id = hashlib.sha256()
        with open(layer, "rb") as file:
            for chunk in iter(lambda: file.read(1 << 20), b""):
                diff_id.update(chunk)
        layer_size = os.path.getsize(layer)
        compressed = subprocess.run(["gzip", "-n", "-c", layer], check=True,
                                    stdout=subprocess.PIPE).stdout
    finally:
        subprocess.run(["rm", "-rf", work], check=True)

    subprocess.run(["rm", "-rf", out], check=True)
    os.makedirs(os.path.join(out, "blobs", "sha256"))
    created = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    config.update({"Env": [f"{k}={v}" for k, v in env.items()], "Labels": labels,
                   "WorkingDir": "/"})
    image_config = {"architecture": "amd64", "os": "linux", "created": created, "config": config,
                    "rootfs": {"type": "layers", "diff_ids": [f"sha256:{diff_id.hexdigest()}"]},
                    "history": [{"created": created, "created_by": f"build_image.py {os.path.basename(containerfile)}"}]}
    layer_descriptor = blob(out, compressed, "application/vnd.oci.image.layer.v1.tar+gzip")
    manifest = {"schemaVersion": 2, "mediaType": "application/vnd.oci.image.manifest.v1+json",
                "config": blob(out, canonical(image_config), "application/vnd.oci.image.config.v1+json"),
                "layers": [layer_descriptor], "annotations": labels}
    manifest_descriptor = blob(out, canonical(manifest), "application/vnd.oci.image.manifest.v1+json")
    tag = labels.get("org.opencontainers.image.version", "latest")
    manifest_descriptor["annotations"] = {"org.opencontainers.image.ref.name": tag}
    with open(os.path.join(out, "index.json"), "wb") as file:
        file.write(canonical({"schemaVersion": 2, "manifests": [manifest_descriptor]}))
    with open(os.path.join(out, "oci-layout"), "wb") as file:
        file.write(canonical({"imageLayoutVersion": "1.0.0"}))
    print(f"image: {out}:{tag}, layer {layer_descriptor['size']} bytes compressed "
          f"({layer_size} unpacked), "
          f"manifest {manifest_descriptor['digest']}, layer {layer_descriptor['digest']}")


if __name__ == "__main__":
    main()
