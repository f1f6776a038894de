package orvane.providertest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.requiredEnv;

import java.io.DataInputStream;
import java.io.File;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.Collections;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** Every class of the shipped jars is a Java 8 class file (version 52) and loads here. */
class ClassVersionTest {
    @ParameterizedTest
    @ValueSource(strings = {"ORV_JAR", "ORV_TOOL_JAR"})
    void java8ClassFiles(String jarVariable) throws Exception {
        File jar = new File(requiredEnv(jarVariable));
        int classes = 0;
        try (JarFile file = new JarFile(jar);
                URLClassLoader loader = new URLClassLoader(new URL[] {jar.toURI().toURL(),
                    new File(requiredEnv("ORV_JAR")).toURI().toURL()}, null)) {
            for (JarEntry entry : Collections.list(file.entries())) {
                if (!entry.getName().endsWith(".class")) {
                    continue;
                }
                try (DataInputStream in = new DataInputStream(file.getInputStream(entry))) {
                    assertEquals(0xCAFEBABE, in.readInt());
                    in.readUnsignedShort();
                    assertEquals(52, in.readUnsignedShort(), entry.getName());
                }
                String name = entry.getName().replace('/', '.').replaceAll("\\.class$", "");
                Class.forName(name, false, loader);
                classes++;
            }
        }
        assertTrue(classes > 5, "only " + classes + " classes in " + jar);
    }
}
