#!/usr/bin/env python3
"""Makes the OCI runtime configuration `umoci unpack` wrote run what the Deployment in
deploy/kubernetes asks of its container, as a kubelet would hand it to the runtime: the
arguments, no terminal, the pod's and the container's securityContext (user, read-only
root, capabilities, privilege escalation) and the emptyDir volumes (a tmpfs of the volume's
size here). Nothing else in the configuration changes. A securityContext or container field
this script does not apply is an error, unless it is listed below as left out, so that a
change to the manifest cannot pass unseen.

    apply_pod_spec.py MANIFEST_DIR CONFIG_JSON IMAGE_CONFIG_JSON

Prints what it applied.
"""
import json
import os
import re
import sys

import yaml

# Fields the kubelet acts on outside the runtime configuration, or this test elsewhere.
CONTAINER_ELSEWHERE = {"name", "image", "ports", "resources", "readinessProbe", "livenessProbe",
                       "lifecycle"}
# seccomp's RuntimeDefault is the container runtime's own profile, which runc does not carry.
SECURITY_LEFT_OUT = {"seccompProfile"}
QUANTITY = {"": 1, "k": 10**3, "M": 10**6, "G": 10**9, "Ki": 1 << 10, "Mi": 1 << 20, "Gi": 1 << 30}


def deployment(manifest_dir):
    with open(os.path.join(manifest_dir, "kustomization.yaml"), encoding="utf-8") as file:
        resources = yaml.safe_load(file)["resources"]
    for resource in resources:
        with open(os.path.join(manifest_dir, resource), encoding="utf-8") as file:
            for document in yaml.safe_load_all(file):
                if document["kind"] == "Deployment":
                    return document
    sys.exit("apply_pod_spec: the kustomization names no Deployment")


def size(quantity):
    match = re.fullmatch(r"(\d+)([A-Za-z]*)", str(quantity))
    if not match or match.group(2) not in QUANTITY:
        sys.exit(f"apply_pod_spec: {quantity} is not a size this test reads")
    return int(match.group(1)) * QUANTITY[match.group(2)]


def arguments(container, image):
    # A container's command replaces the image's entry point and its arguments the image's CMD.
    if "command" in container:
        return container["command"] + container.get("args", [])
    return image.get("Entrypoint", []) + container.get("args", image.get("Cmd", []))


def capabilities(process, context):
    wanted = set(process["capabilities"]["bounding"])
    dropped = context.get("drop", [])
    wanted = set() if "ALL" in dropped else wanted - {"CAP_" + name for name in dropped}
    wanted |= {"CAP_" + name for name in context.get("add", [])}
    return {kind: sorted(wanted) for kind in process["capabilities"]}


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    manifest_dir, config_path, image_path = sys.argv[1:]
    pod = deployment(manifest_dir)["spec"]["template"]["spec"]
    container = pod["containers"][0]
    unknown = set(container) - CONTAINER_ELSEWHERE - {"command", "args", "tty", "securityContext",
                                                       "volumeMounts"}
    context = {**pod.get("securityContext", {}), **container.get("securityContext", {})}
    unknown |= set(context) - SECURITY_LEFT_OUT - {
        "runAsUser", "runAsGroup", "runAsNonRoot", "readOnlyRootFilesystem",
        "allowPrivilegeEscalation", "capabilities"}
    if unknown:
        sys.exit(f"apply_pod_spec: the Deployment sets {sorted(unknown)}, "
                 "which this test does not apply")
    with open(config_path, encoding="utf-8") as file:
        config = json.load(file)
    with open(image_path, encoding="utf-8") as file:
        image = json.load(file)["config"]

    process = config["process"]
    process["args"] = arguments(container, image)
    process["terminal"] = container.get("tty", False)
    user = process["user"]
    user["uid"] = context.get("runAsUser", user["uid"])
    user["gid"] = context.get("runAsGroup", user["gid"])
    if context.get("runAsNonRoot") and user["uid"] == 0:
        sys.exit("apply_pod_spec: runAsNonRoot, yet the container would run as root")
    config["root"]["readonly"] = context.get("readOnlyRootFilesystem", False)
    process["capabilities"] = capabilities(process, context.get("capabilities", {}))
    process["noNewPrivileges"] = not context.get("allowPrivilegeEscalation", True)

    volumes = {volume["name"]: volume for volume in pod.get("volumes", [])}
    for mount in container.get("volumeMounts", []):
        volume = volumes[mount["name"]]
        if set(volume) != {"name", "emptyDir"}:
            sys.exit(f"apply_pod_spec: volume {mount['name']} is not an emptyDir")
        options = ["nosuid", "nodev"]
        if "sizeLimit" in volume["emptyDir"]:
            options.append(f"size={size(volume['emptyDir']['sizeLimit'])}")
        config["mounts"].append({"destination": mount["mountPath"], "type": "tmpfs",
                                 "source": "tmpfs", "options": options})

    with open(config_path, "w", encoding="utf-8") as file:
        json.dump(config, file, indent=2)
    mounts = ", ".join(f"{m['mountPath']} emptyDir" for m in container.get("volumeMounts", []))
    print(f"runtime configuration: {' '.join(process['args'])} as {user['uid']}:{user['gid']}, "
          f"{'read-only' if config['root']['readonly'] else 'writable'} root, {mounts}, "
          f"capabilities {process['capabilities']['bounding'] or 'none'}, "
          f"no new privileges {process['noNewPrivileges']}; left out: "
          f"{sorted(SECURITY_LEFT_OUT & set(context)) or 'nothing'}")


if __name__ == "__main__":
    main()
